#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <memory>

// Misbehaving POP3 and SMTP servers on 127.0.0.1 (badservers.py beside this file names the ways
// they misbehave), started for one test program and stopped when this object goes. None of them
// speaks TLS: a client reaches the POP3 ones in the explicit plain form only.
class BadServers
{
public:
    BadServers();  // starts the script and waits (bounded) for its JSON line
    ~BadServers(); // stops it by closing its stdin, then by its PID

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    quint16 port(const char *mode) const;
    // What the server of `mode` received so far, one line per command.
    QByteArray received(const char *mode) const;

private:
    std::unique_ptr<QProcess> m_process;
    QJsonObject m_info;
    QString m_error;
};
