#include "BackForm.h"

#include "AttachmentControls.h"
#include "SendCall.h"
#include "SendRules.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogCommands.h"
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/TextRules.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

constexpr double kClientWidth = 7710, kClientHeight = 7965;
constexpr double kFieldLeft = 1080;

} // namespace

BackForm::BackForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BackForm"));
    setWindowTitle(QStringLiteral("返事を書く"));
    setWindowFlag(Qt::Window);
    setFont(Fonts::proportionalGothic(9));

    const auto button = [this](const char *name, const QString &caption, double left) {
        return Kit::placeInTwips(new QPushButton(caption, this), name, {left, 120, 1215, 375});
    };
    Command2 = button("Command2", QStringLiteral("送信"), 120);
    Command3 = button("Command3", QStringLiteral("送信中止"), 1560);
    Command4 = button("Command4", QStringLiteral("本文に貼付"), 3000);
    Command1 = button("Command1", QStringLiteral("愛犬格納"), 4320);

    const auto field = [this](const char *name, const QString &caption, double top, double width) {
        auto *label = Kit::placeInTwips(new QLabel(caption, this), QStringLiteral("%1Label").arg(QLatin1String(name)),
                                        {120, top, 945, 300});
        auto *box = Kit::placeInTwips(new QLineEdit(this), name, {kFieldLeft, top, width, 300});
        box->setMaxLength(32767);
        label->setBuddy(box);
        box->setAccessibleName(caption);
        return box;
    };
    ToText = field("ToText", QStringLiteral("宛先"), 600, 4212);
    SubjectText = field("SubjectText", QStringLiteral("題名"), 960, 6150);
    AttachText = field("AttachText", QStringLiteral("添付File"), 1320, 2800);

    AttachCommand =
        Kit::placeInTwips(new QPushButton(QStringLiteral("添付"), this), "AttachCommand", {3960, 1320, 792, 300});
    AttachCommand->setStyleSheet(QStringLiteral("background-color: rgb(224, 224, 224);"));
    Command9 = Kit::placeInTwips(new QPushButton(QStringLiteral("追加"), this), "Command9", {4755, 1320, 855, 300});
    Command9->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));
    Command10 =
        Kit::placeInTwips(new QPushButton(QStringLiteral("取り消し"), this), "Command10", {5595, 1320, 855, 300});
    Command10->setStyleSheet(QStringLiteral("background-color: rgb(255, 0, 0);"));

    BodyText = Kit::placeInTwips(new QPlainTextEdit(this), "BodyText", {0, 1680, 7695, 6255});
    BodyText->setTabChangesFocus(true);
    BodyText->setAccessibleName(QStringLiteral("本文"));

    List2 = Kit::placeInTwips(new QListWidget(this), "List2", {kFieldLeft, 1320, 3975, 1860});
    List2->setAccessibleName(QStringLiteral("添付ファイル一覧"));
    m_attachments = new AttachmentControls(AttachCommand, Command9, Command10, AttachText, List2);

    connect(Command2, &QPushButton::clicked, this, &BackForm::sendCommand);
    connect(Command3, &QPushButton::clicked, this, [this] { Kit::swapForms(Forms::mainForm(), this); });
    connect(Command4, &QPushButton::clicked, this, &BackForm::pasteCommand);
    connect(Command1, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });

    const TwipsScale scale = TwipsScale::onScreen();
    resize(scale.toPixelsX(kClientWidth), scale.toPixelsY(kClientHeight));

    // Load: the attachment field at its first width, the list out of the way.
    AttachText->resize(scale.toPixelsX(2800), AttachText->height());
    List2->hide();
    AttachCommand->setEnabled(true);
    Command9->setEnabled(true);
    Command10->setEnabled(true);

    Kit::centreOnScreen(this);
}

BackForm::~BackForm() = default;

QString BackForm::bodyText() const
{
    return SendRules::withCrLf(BodyText->toPlainText());
}

void BackForm::setBodyText(const QString &text)
{
    BodyText->setPlainText(SendRules::withLf(text));
}

BackForm::Layout BackForm::layoutFor(double outerWidth, double outerHeight)
{
    const float w = float(outerWidth), h = float(outerHeight);
    return {w * 0.99f, h * 0.74f, w * 0.7f, w * 0.7f, w * 0.4f};
}

void BackForm::applyLayout()
{
    const TwipsScale scale = TwipsScale::onScreen();
    const QSizeF outer = scale.toTwips(frameGeometry().size());
    const Layout l = layoutFor(outer.width(), outer.height());
    BodyText->resize(scale.toPixelsX(l.bodyWidth), BodyText->height());
    ToText->resize(scale.toPixelsX(l.toWidth), ToText->height());
    SubjectText->resize(scale.toPixelsX(l.subjectWidth), SubjectText->height());
    AttachText->resize(scale.toPixelsX(l.attachWidth), AttachText->height());
    // The buttons follow the width the field actually got.
    const double got = scale.toTwipsX(AttachText->width());
    AttachCommand->move(scale.toPixelsX(attachLeft(got)), AttachCommand->y());
    Command9->move(scale.toPixelsX(addLeft(got)), Command9->y());
    Command10->move(scale.toPixelsX(cancelLeft(got)), Command10->y());
    BodyText->resize(BodyText->width(), scale.toPixelsY(l.bodyHeight));
}

void BackForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

// The outer size includes the frame, which the window manager adds after the first showing and
// which moves the window without resizing it.
void BackForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyLayout();
}

void BackForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    applyLayout();
}

void BackForm::closeEvent(QCloseEvent *event)
{
    if (m_sending) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void BackForm::pasteCommand()
{
    const QString combined = TextRules::CutAtNul(QGuiApplication::clipboard()->text())
                             + QStringLiteral("\r\n\r\n\r\n\r") + TextRules::trimSpaces(m_answeredBody);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(combined);
    // The clipboard gives back what it was given, ended at a NUL.
    setBodyText(TextRules::trimSpaces(TextRules::CutAtNul(combined)));
}

void BackForm::sendCommand()
{
    if (m_sending)
        return;
    m_sending = true;
    bool sent = false;
    QString to = ToText->text();
    const bool ready = SendCall::recipientsReady(to);
    ToText->setText(to);
    {
        SendCall call;
        if (ready && SendCall::attachmentsReady(AttachText->text())) {
            const AccountSettings &account = AccountSettings::instance();
            sent = call.send({account.SmtpServer, to, account.MailAddress, SubjectText->text(), bodyText(),
                              AttachText->text(), m_thread});
        }
    }
    m_sending = false;
    // A reply that did not go out stays in the window to be mended and sent again.
    if (sent)
        close();
}
