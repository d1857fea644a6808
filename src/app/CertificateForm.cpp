#include "CertificateForm.h"

#include "kit/WindowKit.h"
#include "platform/FileError.h"
#include "platform/Fonts.h"
#include "platform/Prompter.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel *wrapped(const QString &text, QWidget *parent, const char *name)
{
    auto *label = Kit::named(new QLabel(text, parent), name);
    label->setWordWrap(true);
    // A keyboard or screen-reader user reaches the words by Tab, like the boxes below.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::TabFocus);
    return label;
}

QLineEdit *field(QGridLayout *grid, const QString &caption, const QString &value, QWidget *parent, const char *name)
{
    const int row = grid->rowCount();
    auto *label = new QLabel(caption, parent);
    label->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    auto *box = Kit::named(new QLineEdit(value, parent), name);
    box->setReadOnly(true);
    box->setCursorPosition(0);
    Kit::captionFor(box, label);
    grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(box, row, 1);
    return box;
}

QString validity(const ServerCertificate &certificate)
{
    return QStringLiteral("%1 から %2 まで")
        .arg(ServerCertificate::dateText(certificate.notBefore), ServerCertificate::dateText(certificate.notAfter));
}

} // namespace

const QString &CertificateForm::title()
{
    static const QString text = QStringLiteral("証明書の確認");
    return text;
}

CertificateForm::CertificateForm(const ServerCertificate &certificate, QWidget *parent)
    : QDialog(parent), m_certificate(certificate)
{
    setObjectName(QStringLiteral("CertificateForm"));
    setWindowTitle(title());
    setFont(Fonts::proportionalGothic(9));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);

    const bool changed = certificate.changed();
    Heading = wrapped(
        changed
            ? QStringLiteral("警告: サーバー「%1」の証明書が、前に信頼した証明書と違います。").arg(certificate.server)
            : QStringLiteral("サーバー「%1」の証明書を確かめられません。").arg(certificate.server),
        this, "Heading");
    QFont bold = Heading->font();
    bold.setBold(true);
    Heading->setFont(bold);
    if (changed)
        Heading->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));

    QStringList reasons;
    if (changed)
        reasons << QStringLiteral("誰かが通信に割り込んで、このサーバーになりすましているおそれがあります。");
    reasons << certificate.reasons();
    Reasons = wrapped(reasons.join(u'\n'), this, "Reasons");

    Advice = wrapped(
        changed ? QStringLiteral("サーバーの管理者が証明書を替えたと確かめられないときは、「中止」を押して下さい。"
                                 "ID とパスワードはまだ送っていません。")
                : QStringLiteral("この証明書がこのサーバーのものだと確かめられるとき（SHA-256 をサーバーの管理者に"
                                 "確かめるなど）だけ信頼して下さい。信頼すると、このサーバーとポートの証明書として"
                                 "記憶し、次からは確かめずに接続します。ID とパスワードはまだ送っていません。"),
        this, "Advice");

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    ServerText = field(grid, QStringLiteral("サーバー"), certificate.server, this, "ServerText");
    SubjectText = field(grid, QStringLiteral("発行先"), certificate.subject, this, "SubjectText");
    IssuerText = field(grid, QStringLiteral("発行者"), certificate.issuer, this, "IssuerText");
    ValidText = field(grid, QStringLiteral("有効期間"), validity(certificate), this, "ValidText");
    TrustedText = changed ? field(grid, QStringLiteral("前に信頼した証明書の SHA-256"),
                                  ServerCertificate::hex(certificate.trustedSha256), this, "TrustedText")
                          : nullptr;
    const QString fingerprint = ServerCertificate::hex(certificate.sha256);
    FingerprintText = field(grid, changed ? QStringLiteral("新しい証明書の SHA-256") : QStringLiteral("SHA-256"),
                            fingerprint, this, "FingerprintText");
    // The fingerprints are read and compared character by character: whole, in a fixed-width face.
    const QFont fixed = Fonts::gothic(9);
    for (QLineEdit *box : {FingerprintText, TrustedText}) {
        if (!box)
            continue;
        box->setFont(fixed);
        box->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(fingerprint) + 16);
    }

    TrustCommand = Kit::named(new QPushButton(QStringLiteral("この証明書を信頼する"), this), "TrustCommand");
    CancelCommand = Kit::named(new QPushButton(QStringLiteral("中止"), this), "CancelCommand");
    TrustCommand->setAutoDefault(true);
    CancelCommand->setAutoDefault(true);
    CancelCommand->setDefault(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    auto *words = new QVBoxLayout;
    words->addWidget(Heading);
    words->addWidget(Reasons);
    top->addLayout(words, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(TrustCommand);
    buttons->addWidget(CancelCommand);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addLayout(grid);
    layout->addWidget(Advice);
    layout->addLayout(buttons);
    // Long lines wrap at a width that keeps the fingerprints whole.
    for (QLabel *label : {Heading, Reasons, Advice})
        label->setMinimumWidth(FingerprintText->minimumWidth() + 60);

    setTabOrder(Heading, Reasons);
    setTabOrder(Reasons, ServerText);
    setTabOrder(ServerText, SubjectText);
    setTabOrder(SubjectText, IssuerText);
    setTabOrder(IssuerText, ValidText);
    QWidget *previous = ValidText;
    if (TrustedText) {
        setTabOrder(ValidText, TrustedText);
        previous = TrustedText;
    }
    setTabOrder(previous, FingerprintText);
    setTabOrder(FingerprintText, Advice);
    setTabOrder(Advice, TrustCommand);
    setTabOrder(TrustCommand, CancelCommand);
    setAccessibleDescription(Heading->text() + u'\n' + Reasons->text());

    connect(TrustCommand, &QPushButton::clicked, this, &CertificateForm::trust);
    connect(CancelCommand, &QPushButton::clicked, this, &QDialog::reject);
    CancelCommand->setFocus();
    adjustSize();
    Kit::centreOnScreen(this);
}

void CertificateForm::trust()
{
    if (m_certificate.risky()) {
        ServerCertificate risks = m_certificate;
        risks.problems &= ~ServerCertificate::Unvouched;
        const int answer =
            MsgBox(risks.reasons().join(QStringLiteral("\r\n"))
                       + QStringLiteral("\r\nなりすましのサーバーがこのような証明書を使うこともあります。"
                                        "それでも、この証明書を信頼しますか？"),
                   Prompter::Buttons::YesNo, Prompter::Icon::Exclamation, title());
        if (answer != Prompter::Yes)
            return;
    }
    accept();
}

CertificateForm::Answer CertificateForm::askAfterFailure(const MailTransport &transport)
{
    const std::optional<ServerCertificate> certificate = transport.refusedCertificate();
    if (!certificate || !certificate->trustable)
        return Answer::NotAsked;
    // On the heap: the window it belongs to may go while it waits.
    QPointer<CertificateForm> form = new CertificateForm(*certificate, QApplication::activeWindow());
    const int result = form->exec();
    const bool trusted = form && result == QDialog::Accepted;
    delete form.data();
    if (!trusted)
        return Answer::Declined;
    const QString file = TrustStore::path();
    if (const int error = TrustStore::trust(file, *certificate); error != 0) {
        MsgBox(QStringLiteral("信頼する証明書を記憶できなかったため、接続をやめました。\r\n%1\r\n%2")
                   .arg(QDir::toNativeSeparators(file), FileError::text(error)),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation, title());
        return Answer::Declined;
    }
    return Answer::Trusted;
}
