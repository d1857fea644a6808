#include "SendTestSupport.h"

#include "TransportTestSupport.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "send/WriteForm.h"
#include "transport/MailTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryFile>

void SendFixture::SetUp()
{
    ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
    MailTransport::instance().setTimeout(15000);
    for (const char *user : {"taro", "hanako", "jiro"})
        servers().clearMails(QString::fromLatin1(user));
    ASSERT_TRUE(servers().installTrust(folder.file(QStringLiteral("★MailData"))));
    useServers(smtp(), pop3(), QStringLiteral("hanako@example.test"));
    folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
}

void SendFixture::TearDown()
{
    Forms::destroyAll();
    AccountSettings::instance() = AccountSettings();
}

QString SendFixture::smtp() const
{
    return QStringLiteral("127.0.0.1:%1").arg(servers().smtpPort());
}
QString SendFixture::pop3() const
{
    return QStringLiteral("127.0.0.1:%1").arg(servers().pop3Port());
}

void SendFixture::useServers(const QString &smtp, const QString &pop3, const QString &mail)
{
    folder.usePetpost(QStringLiteral("SMTP=%1\r\nPOP3=%2\r\nMAIL=%3\r\nAPOP=0\r\n").arg(smtp, pop3, mail));
}

void SendFixture::type(WriteForm *window, const QString &to, const QString &subject, const QString &body)
{
    window->ToText->setPlainText(to);
    window->SubjectText->setText(subject);
    window->BodyText->setPlainText(body);
}

QJsonObject readMail(const QByteArray &raw)
{
    QTemporaryFile file;
    if (!file.open())
        return {};
    file.write(raw);
    file.flush();
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(WANDERPUP_READ_MAIL), file.fileName()});
    reader.waitForFinished(20000);
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

QStringList deliveries(const QString &user)
{
    const QString dir = servers().stateFolder() + QStringLiteral("/home/") + user + QStringLiteral("/Maildir/new");
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

bool isGone(const QPointer<QWidget> &window)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return window.isNull();
}
