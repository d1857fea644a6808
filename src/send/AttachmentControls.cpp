#include "AttachmentControls.h"

#include "platform/Prompter.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

AttachmentControls::AttachmentControls(QPushButton *attach, QPushButton *add, QPushButton *cancel, QLineEdit *paths,
                                       QListWidget *list)
    : QObject(attach), m_attach(attach), m_add(add), m_cancel(cancel), m_paths(paths), m_list(list)
{
    connect(m_attach, &QPushButton::clicked, this, &AttachmentControls::attach);
    connect(m_add, &QPushButton::clicked, this, &AttachmentControls::add);
    connect(m_cancel, &QPushButton::clicked, this, &AttachmentControls::cancel);
}

QString AttachmentControls::askForFile() const
{
    const QString path =
        Prompter::current().openFileName(QStringLiteral("添付ファイル"), QStringLiteral("すべてのファイル (*)"));
    return path.isEmpty() ? path : QDir::toNativeSeparators(path);
}

void AttachmentControls::attach()
{
    m_add->setEnabled(true);
    const QString path = askForFile();
    if (!path.isEmpty()) {
        m_paths->setText(path);
        m_list->addItem(path);
    }
    m_attach->setEnabled(false);
}

void AttachmentControls::add()
{
    m_list->show();
    m_list->raise(); // it lies over the body
    if (m_paths->text().isEmpty())
        return;
    const QString path = askForFile();
    if (path.isEmpty())
        return;
    m_paths->setText(m_paths->text() + u',' + path);
    m_list->addItem(path);
}

void AttachmentControls::cancel()
{
    m_paths->clear();
    m_list->clear();
    m_list->hide();
    m_add->setEnabled(false);
    m_cancel->setEnabled(false);
    m_attach->setEnabled(true);
}
