#pragma once

#include "MailServers.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

// The servers of the whole test program, started on first use and stopped at its end.
MailServers &servers();

QByteArray sjis(const QString &text);  // code page 932 bytes of `text`
QByteArray crlf(const QByteArray &lf); // LF line ends to CRLF

// Test-side encoders, written independently of the transport's own converters.
namespace MailCharsetProbe {
QByteArray encode(const QString &text, const char *charset); // through iconv
QByteArray quotedPrintable(const QByteArray &bytes);
// Code page 932 bytes as ISO-2022-JP the way Windows mailers write it (NEC rows included).
QByteArray iso2022jp(const QByteArray &cp932);
} // namespace MailCharsetProbe

// A TCP listener on 127.0.0.1 that accepts connections and never says anything.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A loopback proxy in front of a real server that cuts the connection once the server has sent
// `cutAfter` bytes to the client (0 = never).
class CuttingProxy
{
public:
    CuttingProxy(quint16 target, qint64 cutAfter);
    ~CuttingProxy();
    quint16 port() const { return m_port; }
    bool didCut() const { return m_cut; }
    void stopCutting() { m_cutAfter = 0; } // connections from now on pass whole
    qint64 serverBytes() const { return m_serverBytes; } // sent by the server so far, all clients
    int connections() const { return m_connections; }    // accepted so far

private:
    void run();
    int m_fd = -1;
    quint16 m_port = 0;
    quint16 m_target;
    std::atomic<qint64> m_cutAfter;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cut{false};
    std::atomic<qint64> m_serverBytes{0};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};
