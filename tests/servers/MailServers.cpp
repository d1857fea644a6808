#include "MailServers.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

#ifndef WP_MAILSERVERS_SCRIPT
#error "WP_MAILSERVERS_SCRIPT must name tests/servers/mailservers.py"
#endif

MailServers::MailServers() : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(WP_MAILSERVERS_SCRIPT)});
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("mailservers.py did not start: ") + m_process->errorString();
        return;
    }
    QDeadlineTimer deadline(20000);
    QByteArray line;
    while (!deadline.hasExpired()) {
        if (m_process->canReadLine()) {
            line = m_process->readLine();
            break;
        }
        if (m_process->state() == QProcess::NotRunning)
            break;
        m_process->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    if (line.isEmpty()) {
        m_error = QStringLiteral("mailservers.py gave no start line: ")
                  + QString::fromLocal8Bit(m_process->readAllStandardError());
        return;
    }
    m_info = QJsonDocument::fromJson(line).object();
    if (m_info.contains(QStringLiteral("error")))
        m_error = m_info.value(QStringLiteral("error")).toString();
    else if (!m_info.contains(QStringLiteral("pop3")))
        m_error = QStringLiteral("mailservers.py said: ") + QString::fromUtf8(line);
}

MailServers::~MailServers()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->closeWriteChannel(); // the script stops its servers when stdin closes
    if (!m_process->waitForFinished(10000)) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
}

bool MailServers::ok() const { return m_error.isEmpty(); }
QString MailServers::error() const { return m_error; }
quint16 MailServers::pop3Port() const { return quint16(m_info.value(QStringLiteral("pop3")).toInt()); }
quint16 MailServers::pop3sPort() const { return quint16(m_info.value(QStringLiteral("pop3s")).toInt()); }
quint16 MailServers::smtpPort() const { return quint16(m_info.value(QStringLiteral("smtp")).toInt()); }
quint16 MailServers::smtpsPort() const { return quint16(m_info.value(QStringLiteral("smtps")).toInt()); }
quint16 MailServers::smtpPlainPort() const
{
    return quint16(m_info.value(QStringLiteral("smtpPlain")).toInt());
}
QString MailServers::certificateFile() const { return m_info.value(QStringLiteral("cert")).toString(); }
QByteArray MailServers::certificateDer(const QString &pemFile)
{
    QFile f(pemFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = f.readAll();
    const qsizetype begin = pem.indexOf("-----BEGIN CERTIFICATE-----");
    const qsizetype end = pem.indexOf("-----END CERTIFICATE-----", begin);
    if (begin < 0 || end < 0)
        return {};
    return QByteArray::fromBase64(pem.mid(begin + 27, end - begin - 27));
}

QString MailServers::stateFolder() const { return m_info.value(QStringLiteral("state")).toString(); }

QString MailServers::dovecotLog() const
{
    QFile f(m_info.value(QStringLiteral("dovecotLog")).toString());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QString MailServers::smtpAuthLog() const
{
    QFile f(m_info.value(QStringLiteral("smtpAuthLog")).toString());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString MailServers::present(const char *kind)
{
    if (m_process->state() != QProcess::Running
        || m_process->write(QByteArray("present ") + kind + "\n") < 0)
        return {};
    QDeadlineTimer deadline(40000);
    while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
        if (m_process->canReadLine()) {
            const QJsonObject answer = QJsonDocument::fromJson(m_process->readLine()).object();
            if (!answer.value(QStringLiteral("swapped")).toBool())
                return {};
            const QString root = answer.value(QStringLiteral("root")).toString();
            return root.isEmpty() ? certificateFile() : root;
        }
        m_process->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return {};
}

bool MailServers::installTrust(const QString &dataFolder) const
{
    const QString target = QDir(dataFolder).filePath(QStringLiteral("cacert.pem"));
    QFile::remove(target);
    return QFile::copy(certificateFile(), target);
}

QString MailServers::maildir(const QString &user) const
{
    return m_info.value(QStringLiteral("maildirs")).toObject().value(user).toString();
}

bool MailServers::addMail(const QString &user, const QByteArray &rfc822)
{
    const QString dir = maildir(user);
    if (dir.isEmpty())
        return false;
    // Names sort in the order of adding, which is the order Dovecot numbers new mails in.
    const QString name = QStringLiteral("%1.M%2P%3.test")
                             .arg(QDateTime::currentSecsSinceEpoch(), 10, 10, QLatin1Char('0'))
                             .arg(++m_sequence, 19, 10, QLatin1Char('0'))
                             .arg(::getpid());
    const QString tmp = dir + QStringLiteral("/tmp/") + name;
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly) || f.write(rfc822) != rfc822.size())
        return false;
    f.close();
    // As root the servers read the mail as the user dovecot; otherwise as the user running them.
    if (const passwd *pw = ::geteuid() == 0 ? ::getpwnam("dovecot") : nullptr)
        if (::chown(QFile::encodeName(tmp).constData(), pw->pw_uid, pw->pw_gid) != 0)
            return false;
    return QFile::rename(tmp, dir + QStringLiteral("/new/") + name);
}

QStringList MailServers::mailFiles(const QString &user) const
{
    const QString dir = maildir(user);
    if (dir.isEmpty())
        return {};
    QFileInfoList files;
    for (const char *sub : {"new", "cur"})
        files += QDir(dir + QLatin1Char('/') + QLatin1String(sub)).entryInfoList(QDir::Files);
    std::sort(files.begin(), files.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.fileName() < b.fileName(); });
    QStringList paths;
    for (const QFileInfo &fi : files)
        paths << fi.filePath();
    return paths;
}

int MailServers::mailCount(const QString &user) const { return int(mailFiles(user).size()); }

QList<QByteArray> MailServers::mails(const QString &user) const
{
    QList<QByteArray> out;
    for (const QString &path : mailFiles(user)) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

void MailServers::clearMails(const QString &user)
{
    for (const QString &path : mailFiles(user))
        QFile::remove(path);
}
