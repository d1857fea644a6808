#include "BadServers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#ifndef WP_BADSERVERS_SCRIPT
#error "WP_BADSERVERS_SCRIPT must name tests/servers/badservers.py"
#endif

BadServers::BadServers() : m_process(std::make_unique<QProcess>())
{
    m_process->start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(WP_BADSERVERS_SCRIPT)});
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("badservers.py did not start: ") + m_process->errorString();
        return;
    }
    QDeadlineTimer deadline(15000);
    while (!m_process->canReadLine() && !deadline.hasExpired() && m_process->state() == QProcess::Running)
        m_process->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    const QByteArray line = m_process->readLine();
    m_info = QJsonDocument::fromJson(line).object();
    if (!m_info.contains(QStringLiteral("ports")))
        m_error = QStringLiteral("badservers.py said: ") + QString::fromUtf8(line)
                  + QString::fromLocal8Bit(m_process->readAllStandardError());
}

BadServers::~BadServers()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(5000)) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
}

quint16 BadServers::port(const char *mode) const
{
    return quint16(m_info.value(QStringLiteral("ports")).toObject().value(QLatin1String(mode)).toInt());
}

QByteArray BadServers::received(const char *mode) const
{
    QFile f(m_info.value(QStringLiteral("state")).toString() + u'/' + QLatin1String(mode) + QStringLiteral(".log"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
