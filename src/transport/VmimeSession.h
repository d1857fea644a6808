#pragma once

#include "Pop3Reader.h"
#include "ServerAddress.h"
#include "TcpLine.h"
#include "TrustStore.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include <vmime/vmime.hpp>

using WaitHook = std::shared_ptr<std::function<void()>>;

// Calls the wait hook, at most every 30 ms however often it is asked.
class Waiting
{
public:
    explicit Waiting(WaitHook hook) : m_hook(std::move(hook)) {}
    void tick();

private:
    WaitHook m_hook;
    QElapsedTimer m_last;
};

// What one connection's socket and time-out handler share with the code that owns it: the
// bounds the mail library's own dialogue is held to, and a way to drop the connection at once.
// While the library speaks (connect, TLS, login, an SMTP session) every reply may grow to
// ReplyCap bytes from the last thing sent, the server may stay silent for the time-out, and the
// whole dialogue must end within its allowance: a server that drips one byte at a time does not
// hold the program for as long as it likes.
class WireGuard
{
public:
    static constexpr qint64 ReplyCap = 256 * 1024;

    WireGuard(int timeoutMs, WaitHook hook);

    // The dialogue from now on may take `milliseconds` in all (0: no overall limit).
    void setAllowance(qint64 milliseconds);
    // Off once our own reader speaks on the connection: it keeps bounds of its own.
    void setLibraryBounds(bool on) { m_bounds = on; }
    // Closes the socket at once: a connection known dead is not waited on again (no QUIT).
    void cut();
    bool dead() const { return m_dead; }
    // The allowance ran out (rather than the server falling silent).
    bool tooSlow() const { return m_tooSlow; }
    // Nothing at all came from the server, not even a greeting.
    bool silentFromTheStart() const { return !m_heard; }
    int timeoutMs() const { return m_timeoutMs; }

    // For the socket and the time-out handler.
    void attach(const std::shared_ptr<vmime::net::socket> &socket) { m_socket = socket; }
    void sent() { m_sinceSend = 0; }
    void received(size_t bytes); // throws when a reply outgrows ReplyCap
    bool timedOut(qint64 idleMs);
    void markDead() { m_dead = true; }
    // While the connection waits: the windows' turn.
    void waiting() { m_waiting.tick(); }

private:
    int m_timeoutMs;
    bool m_bounds = true;
    bool m_dead = false;
    bool m_tooSlow = false;
    bool m_heard = false;
    qint64 m_allowanceMs = 0;
    QElapsedTimer m_clock;
    qint64 m_sinceSend = 0;
    std::weak_ptr<vmime::net::socket> m_socket;
    Waiting m_waiting;
};

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

    using Reach = TcpLine::Reach;
    // The one TCP connection of a check or a send, dialled within the time-out while the
    // windows keep their turn; null, with the reason, when the server cannot be reached.
    std::unique_ptr<TcpLine> dial(const ServerAddress &server, Reach &reach) const;
    // Why a server was not reached, as the end of a sentence ("" when it was).
    QString reachText(Reach reach) const;

    // A POP3 store or SMTP transport for `server` that will speak on `line`, set up but not
    // connected, and the guard of its connection. Unless the server is written in its plain
    // form, TLS is required (from the first byte, or by STLS/STARTTLS): a server that does not
    // offer it or refuses it is a failure before any password or mail goes out.
    vmime::shared_ptr<vmime::net::store> pop3Store(const ServerAddress &server, std::unique_ptr<TcpLine> line,
                                                   std::shared_ptr<WireGuard> &guard);
    vmime::shared_ptr<vmime::net::transport> smtpTransport(const ServerAddress &server, std::unique_ptr<TcpLine> line,
                                                           std::shared_ptr<WireGuard> &guard);

    // A server's reply or the library's words, as they may be quoted to the user: control
    // characters (a reply may hold anything) become blanks, and a reply may be up to a quarter
    // of a megabyte long, so only its beginning is kept.
    static QString quoted(const std::string &text);

    // The text for the user for a failure of a network step. `role` is "POP3" or "SMTP".
    QString describe(const std::exception &e, const QString &role, const ServerAddress &server,
                     const WireGuard *guard = nullptr) const;
    // The text for a server that does not encrypt where a password (and, with `mail`, a mail)
    // would go in clear. `scheme` is "pop3" or "smtp", for the plain form the text suggests.
    static QString unencryptedText(const QString &role, const QString &scheme, const ServerAddress &server,
                                   bool offered, const QString &reply, bool mail = false);

    // The certificate a failure `e` stopped at, when it was a server certificate not accepted
    // (see MailTransport::refusedCertificate).
    static std::optional<ServerCertificate> refusedCertificate(const std::exception &e);
    static QString certificateText(const ServerCertificate &certificate, const QString &where);

    // The connection of a logged-in POP3 store as the POP3 reader's wire.
    static std::unique_ptr<Pop3Reader::Wire> pop3Wire(const vmime::shared_ptr<vmime::net::store> &store,
                                                      std::shared_ptr<WireGuard> guard);

private:
    std::shared_ptr<WireGuard> configure(const vmime::shared_ptr<vmime::net::service> &service,
                                         const ServerAddress &server, std::unique_ptr<TcpLine> line);

    vmime::shared_ptr<vmime::net::session> m_session;
    int m_timeoutMs;
    QString m_trustFile;
    WaitHook m_waitHook;
};
