#pragma once

#include "Pop3Reader.h"
#include "ServerAddress.h"

#include <QString>

#include <functional>
#include <memory>

#include <vmime/vmime.hpp>

// What every connection of the transport shares, and the only place that sets up the mail
// library's services: our own sockets, the time-out, the trusted certificates, the trace, and
// the words for what went wrong.
class VmimeSession
{
public:
    VmimeSession();

    // How long any network step may wait for the server (default 60 s; 0 or less: the default).
    void setTimeout(int milliseconds);
    int timeoutMs() const { return m_timeoutMs; }
    // Called while any network step waits (see MailTransport::setWaitHook).
    void setWaitHook(std::function<void()> hook);
    // The trusted-certificate file beside the system's authorities; empty means
    // ★MailData/cacert.pem of the program folder, looked up at each connection.
    void setTrustFile(const QString &path) { m_trustFile = path; }

    enum class Reach { Reached, NoSuchHost, Refused, NoAnswer };
    // A TCP connection attempt that gives up after the time-out: the library's own connect
    // waits as long as the system lets it.
    Reach probe(const ServerAddress &server) const;
    // Why a server was not reached, as the end of a sentence ("" when it was).
    QString reachText(Reach reach) const;

    // A POP3 store or SMTP transport for `server`, set up but not connected.
    vmime::shared_ptr<vmime::net::store> pop3Store(const ServerAddress &server);
    vmime::shared_ptr<vmime::net::transport> smtpTransport(const ServerAddress &server);

    // The text for the user for a failure of a network step. `role` is "POP3" or "SMTP".
    QString describe(const std::exception &e, const QString &role, const ServerAddress &server) const;

    // The connection of a logged-in POP3 store as the POP3 reader's wire, with the time-out.
    static std::unique_ptr<Pop3Reader::Wire> pop3Wire(const vmime::shared_ptr<vmime::net::store> &store);

private:
    void configure(const vmime::shared_ptr<vmime::net::service> &service);

    vmime::shared_ptr<vmime::net::session> m_session;
    int m_timeoutMs;
    QString m_trustFile;
    std::shared_ptr<std::function<void()>> m_waitHook;
};
