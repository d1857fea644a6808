#include "Prompter.h"

#include "Fonts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace {

class DialogPrompter final : public Prompter
{
public:
    int message(const QString &text, const QString &title, Buttons buttons, Icon icon) override
    {
        QMessageBox box(QApplication::activeWindow());
        // A window of its own: it takes no face from the window it belongs to.
        box.setFont(Fonts::proportionalGothic(9));
        box.setWindowTitle(title);
        box.setText(text);
        switch (icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case Buttons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes: return Yes;
        case QMessageBox::No: return No;
        case QMessageBox::Cancel: return Cancel;
        default: return buttons == Buttons::YesNo || buttons == Buttons::YesNoDefaultNo ? No : Ok;
        }
    }

    QString openFileName(const QString &title, const QString &filter) override
    {
        return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
    }

    QString saveFileName(const QString &title, const QString &filter) override
    {
        return QFileDialog::getSaveFileName(QApplication::activeWindow(), title, QString(), filter);
    }

    bool printDialog(QPrinter &printer, bool selection) override
    {
        QPrintDialog dialog(&printer, QApplication::activeWindow());
        dialog.setOption(QAbstractPrintDialog::PrintSelection, selection);
        dialog.setPrintRange(selection ? QAbstractPrintDialog::Selection : QAbstractPrintDialog::AllPages);
        return dialog.exec() == QDialog::Accepted;
    }
};

Prompter *&installed()
{
    static Prompter *p = nullptr;
    return p;
}

} // namespace

bool Prompter::printDialog(QPrinter &, bool)
{
    return false;
}

Prompter &Prompter::current()
{
    static DialogPrompter dialogs;
    return installed() ? *installed() : dialogs;
}

void Prompter::install(Prompter *prompter)
{
    installed() = prompter;
}

int MsgBox(const QString &text, Prompter::Buttons buttons, Prompter::Icon icon, const QString &title)
{
    return Prompter::current().message(text, title, buttons, icon);
}
