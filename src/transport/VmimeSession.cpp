#include "VmimeSession.h"

#include "CertificateCheck.h"
#include "TcpLine.h"
#include "VmimePlatform.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <vmime/net/pop3/POP3Connection.hpp>
#include <vmime/net/pop3/POP3Store.hpp>
#include <vmime/security/cert/certificateException.hpp>
#include <vmime/security/cert/certificateVerifier.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kDefaultTimeoutMs = 60000;

// A reply of the mail library's dialogue that outgrew its bound.
class ReplyTooLong final : public vmime::exceptions::socket_exception
{
public:
    ReplyTooLong() : socket_exception("reply too long") {}
    vmime::exception *clone() const override { return new ReplyTooLong(*this); }
    const char *name() const throw() override { return "reply_too_long"; }
};

// The library asks after every chunk whether to give up, and restarts the clock when something
// arrives; the guard adds the limit for the whole dialogue. It asks again and again while a
// socket waits: that is also when the windows get their turn.
class GuardedTimeout final : public vmime::net::timeoutHandler
{
public:
    explicit GuardedTimeout(std::shared_ptr<WireGuard> guard) : m_guard(std::move(guard)) { m_idle.start(); }
    bool isTimeOut() override
    {
        m_guard->waiting();
        return m_guard->timedOut(m_idle.elapsed());
    }
    void resetTimeOut() override { m_idle.restart(); }
    bool handleTimeOut() override { return false; } // give up: nobody is there to ask

private:
    std::shared_ptr<WireGuard> m_guard;
    QElapsedTimer m_idle;
};

// The socket the mail library speaks on: the connection dialled before (TcpLine), with what
// the guard needs to know. It answers the peer's name itself: VMime asks for it after TLS is set
// up and would look a numeric address up in the DNS; the name we connected to is the right
// answer anyway. Waiting is done in short steps that ask the time-out handler, which gives the
// windows their turn and ends a wait that has lasted too long.
class LineSocket final : public vmime::net::socket
{
public:
    LineSocket(std::shared_ptr<TcpLine> line, vmime::shared_ptr<vmime::net::timeoutHandler> timeout,
               std::shared_ptr<WireGuard> guard)
        : m_line(std::move(line)), m_timeout(std::move(timeout)), m_guard(std::move(guard))
    {
    }
    ~LineSocket() override { disconnect(); }

    // The line was dialled before the library asked: a socket gets one line, once.
    void connect(const vmime::string &, const vmime::port_t) override
    {
        if (m_fd >= 0 || !m_line || m_line->fd() < 0)
            throw vmime::exceptions::connection_error("no connection");
        m_name = m_line->host();
        m_fd = m_line->take();
    }
    bool isConnected() const override
    {
        char byte;
        return m_fd >= 0 && ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0;
    }
    void disconnect() override
    {
        if (m_fd < 0)
            return;
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_fd = -1;
    }

    bool waitForRead(const int msecs) override { return !m_guard->dead() && waitFor(POLLIN, msecs); }
    bool waitForWrite(const int msecs) override { return !m_guard->dead() && waitFor(POLLOUT, msecs); }

    // A connection given up reads as silent and swallows what is sent: the library then ends
    // on the guard's time-out at once. (An exception thrown here while TLS holds the call would
    // be kept by the library and never freed.)
    void receive(vmime::string &buffer) override
    {
        char chunk[16384];
        const size_t got = receiveRaw(reinterpret_cast<vmime::byte_t *>(chunk), sizeof chunk);
        buffer.assign(chunk, got);
    }
    size_t receiveRaw(vmime::byte_t *buffer, const size_t count) override
    {
        m_status &= ~STATUS_WOULDBLOCK;
        if (m_guard->dead() || m_fd < 0 || !waitFor(POLLIN, 50)) {
            m_status |= STATUS_WOULDBLOCK;
            return 0;
        }
        const ssize_t got = ::recv(m_fd, buffer, count, 0);
        if (got == 0)
            throw vmime::exceptions::socket_exception("the server closed the connection");
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                throw vmime::exceptions::socket_exception(strerror(errno));
            m_status |= STATUS_WOULDBLOCK;
            return 0;
        }
        if (m_timeout)
            m_timeout->resetTimeOut();
        m_guard->received(size_t(got));
        return size_t(got);
    }

    void send(const vmime::string &buffer) override
    {
        sendRaw(reinterpret_cast<const vmime::byte_t *>(buffer.data()), buffer.size());
    }
    void send(const char *str) override { sendRaw(reinterpret_cast<const vmime::byte_t *>(str), strlen(str)); }
    void sendRaw(const vmime::byte_t *buffer, const size_t count) override
    {
        m_guard->sent();
        size_t done = 0;
        while (done < count && !m_guard->dead()) {
            const ssize_t n = m_fd < 0 ? -1 : ::send(m_fd, buffer + done, count - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && m_fd >= 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                waitFor(POLLOUT, 50);
            } else {
                throw vmime::exceptions::socket_exception(m_fd < 0 ? "not connected" : strerror(errno));
            }
        }
        if (m_timeout)
            m_timeout->resetTimeOut();
    }
    size_t sendRawNonBlocking(const vmime::byte_t *buffer, const size_t count) override
    {
        m_guard->sent();
        m_status &= ~STATUS_WOULDBLOCK;
        if (m_guard->dead())
            return count;
        const ssize_t n = m_fd < 0 ? -1 : ::send(m_fd, buffer, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            return size_t(n);
        if (m_fd < 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            throw vmime::exceptions::socket_exception(m_fd < 0 ? "not connected" : strerror(errno));
        if (m_timeout && m_timeout->isTimeOut() && !m_timeout->handleTimeOut())
            throw vmime::exceptions::operation_timed_out();
        m_status |= STATUS_WOULDBLOCK;
        return 0;
    }

    size_t getBlockSize() const override { return 16384; }
    unsigned int getStatus() const override { return m_status; }
    const vmime::string getPeerName() const override { return m_name; }
    const vmime::string getPeerAddress() const override
    {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        char text[INET6_ADDRSTRLEN] = {};
        if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
            return m_name;
        const void *address = peer.ss_family == AF_INET6
                                  ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(&peer)->sin6_addr)
                                  : static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(&peer)->sin_addr);
        return inet_ntop(peer.ss_family, address, text, sizeof text) ? vmime::string(text) : m_name;
    }
    vmime::shared_ptr<vmime::net::timeoutHandler> getTimeoutHandler() override { return m_timeout; }
    void setTracer(vmime::shared_ptr<vmime::net::tracer> tracer) override { m_tracer = std::move(tracer); }
    vmime::shared_ptr<vmime::net::tracer> getTracer() override { return m_tracer; }

private:
    // Up to `msecs` for the descriptor to be ready, in steps that ask the time-out handler.
    bool waitFor(short events, int msecs)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            pollfd p{m_fd, events, 0};
            const qint64 left = msecs - clock.elapsed();
            const int ready = m_fd < 0 ? -1 : ::poll(&p, 1, int(std::clamp<qint64>(left, 0, 10)));
            if (ready > 0)
                return true;
            if (ready < 0 && (m_fd < 0 || errno != EINTR))
                throw vmime::exceptions::socket_exception(m_fd < 0 ? "not connected" : strerror(errno));
            if (m_timeout && m_timeout->isTimeOut()) {
                if (!m_timeout->handleTimeOut())
                    throw vmime::exceptions::operation_timed_out();
                m_timeout->resetTimeOut();
            }
            if (m_guard->dead() || clock.elapsed() >= msecs)
                return false;
        }
    }

    std::shared_ptr<TcpLine> m_line;
    vmime::shared_ptr<vmime::net::timeoutHandler> m_timeout;
    std::shared_ptr<WireGuard> m_guard;
    vmime::shared_ptr<vmime::net::tracer> m_tracer;
    int m_fd = -1;
    unsigned int m_status = 0;
    vmime::string m_name;
};

class LineSocketFactory final : public vmime::net::socketFactory
{
public:
    LineSocketFactory(std::shared_ptr<TcpLine> line, std::shared_ptr<WireGuard> guard)
        : m_line(std::move(line)), m_guard(std::move(guard))
    {
    }
    vmime::shared_ptr<vmime::net::socket> create() override { return create(nullptr); }
    vmime::shared_ptr<vmime::net::socket> create(vmime::shared_ptr<vmime::net::timeoutHandler> th) override
    {
        auto socket = vmime::make_shared<LineSocket>(m_line, std::move(th), m_guard);
        m_guard->attach(socket);
        return socket;
    }

private:
    std::shared_ptr<TcpLine> m_line;
    std::shared_ptr<WireGuard> m_guard;
};

class GuardedTimeoutFactory final : public vmime::net::timeoutHandlerFactory
{
public:
    explicit GuardedTimeoutFactory(std::shared_ptr<WireGuard> guard) : m_guard(std::move(guard)) {}
    vmime::shared_ptr<vmime::net::timeoutHandler> create() override
    {
        return vmime::make_shared<GuardedTimeout>(m_guard);
    }

private:
    std::shared_ptr<WireGuard> m_guard;
};

// WANDERPUP_TRANSPORT_TRACE=1 prints the protocol dialogue to stderr, passwords masked, each
// line with the milliseconds since the connection's service was made.
class StderrTracer final : public vmime::net::tracer
{
public:
    StderrTracer() { m_clock.start(); }
    void traceSend(const vmime::string &line) override
    {
        std::string shown = line;
        const std::string upper = QByteArray::fromStdString(line.substr(0, 5)).toUpper().toStdString();
        if (upper.rfind("PASS ", 0) == 0 || upper.rfind("APOP ", 0) == 0 || upper.rfind("AUTH ", 0) == 0)
            shown = line.substr(0, 5) + "****";
        fprintf(stderr, "%6lld C: %s\n", m_clock.elapsed(), shown.c_str());
    }
    void traceReceive(const vmime::string &line) override
    {
        fprintf(stderr, "%6lld S: %s\n", m_clock.elapsed(), line.c_str());
    }

private:
    QElapsedTimer m_clock;
};

class StderrTracerFactory final : public vmime::net::tracerFactory
{
public:
    vmime::shared_ptr<vmime::net::tracer> create(vmime::shared_ptr<vmime::net::service>, const int) override
    {
        return vmime::make_shared<StderrTracer>();
    }
};

QString fromStd(const std::string &s) { return VmimeSession::quoted(s); }

// Every chain the server presents is judged by our own check; the library's verifier, which
// links certificates by their names alone, never decides.
class ChainVerifier final : public vmime::security::cert::certificateVerifier
{
public:
    ChainVerifier(QString ownRoots, ServerAddress server) : m_ownRoots(std::move(ownRoots)), m_server(std::move(server)) {}

    void verify(vmime::shared_ptr<vmime::security::cert::certificateChain> chain, const vmime::string &) override
    {
        QList<QByteArray> der;
        for (size_t i = 0; chain && i < chain->getCount(); ++i) {
            const vmime::byteArray bytes = chain->getAt(i)->getEncoded();
            der.append(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
        }
        CertificateCheck::verify(der, m_server, m_ownRoots);
    }

private:
    QString m_ownRoots;
    ServerAddress m_server;
};

// The POP3 reader's wire: the socket of the library's POP3 connection (TLS or not), which after
// the login is ours to speak on. The reader keeps the time; a time-out leaves the connection dead.
class Pop3Wire final : public Pop3Reader::Wire
{
public:
    Pop3Wire(vmime::shared_ptr<vmime::net::store> store, std::shared_ptr<WireGuard> guard)
        : m_store(std::move(store)), m_guard(std::move(guard))
    {
    }

    void send(const std::string &bytes) override { connection()->getSocket()->send(bytes); }

    size_t receive(char *buffer, size_t capacity, int waitMs) override
    {
        const auto socket = connection()->getSocket();
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const size_t got = socket->receiveRaw(reinterpret_cast<vmime::byte_t *>(buffer), capacity);
            if (got > 0)
                return got;
            const qint64 left = waitMs - clock.elapsed();
            if (left <= 0 || m_guard->dead()) {
                m_guard->markDead();
                throw vmime::exceptions::operation_timed_out();
            }
            m_guard->waiting();
            socket->waitForRead(int(std::min<qint64>(left, 30)));
        }
    }

    void traceSent(const std::string &line) override
    {
        if (auto tracer = connection()->getTracer())
            tracer->traceSend(line);
    }
    void traceReceived(const std::string &line) override
    {
        if (auto tracer = connection()->getTracer())
            tracer->traceReceive(line);
    }

private:
    vmime::shared_ptr<vmime::net::pop3::POP3Connection> connection() const
    {
        auto store = vmime::dynamicCast<vmime::net::pop3::POP3Store>(m_store);
        auto conn = store ? store->getConnection() : nullptr;
        if (!conn || m_guard->dead())
            throw vmime::exceptions::not_connected();
        return conn;
    }

    vmime::shared_ptr<vmime::net::store> m_store;
    std::shared_ptr<WireGuard> m_guard;
};

} // namespace

WireGuard::WireGuard(int timeoutMs, WaitHook hook) : m_timeoutMs(timeoutMs), m_waiting(std::move(hook))
{
    m_clock.start();
}

void Waiting::tick()
{
    if (!m_hook || !*m_hook || (m_last.isValid() && m_last.elapsed() < 30))
        return;
    m_last.start();
    (*m_hook)();
}

void WireGuard::setAllowance(qint64 milliseconds)
{
    m_allowanceMs = milliseconds;
    m_clock.restart();
}

void WireGuard::cut()
{
    m_dead = true;
    if (const auto socket = m_socket.lock()) {
        try {
            socket->disconnect();
        } catch (...) {
        }
    }
}

void WireGuard::received(size_t bytes)
{
    m_heard = m_heard || bytes > 0;
    m_sinceSend += qint64(bytes);
    if (m_bounds && m_sinceSend > ReplyCap) {
        m_dead = true;
        throw ReplyTooLong();
    }
}

bool WireGuard::timedOut(qint64 idleMs)
{
    if (m_dead)
        return true;
    if (!m_bounds)
        return false;
    if (m_allowanceMs > 0 && m_clock.elapsed() >= m_allowanceMs)
        m_tooSlow = m_dead = true;
    else if (idleMs >= m_timeoutMs)
        m_dead = true;
    return m_dead;
}

VmimeSession::VmimeSession() : m_timeoutMs(kDefaultTimeoutMs)
{
    VmimePlatform::ensure();
    m_session = vmime::net::session::create();
}

void VmimeSession::setTimeout(int milliseconds)
{
    m_timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

void VmimeSession::setWaitHook(std::function<void()> hook)
{
    m_waitHook = std::make_shared<std::function<void()>>(std::move(hook));
}

std::unique_ptr<TcpLine> VmimeSession::dial(const ServerAddress &server, Reach &reach) const
{
    Waiting waiting(m_waitHook);
    return TcpLine::dial(server.host, server.port, m_timeoutMs, [&waiting] { waiting.tick(); }, reach);
}

QString VmimeSession::reachText(Reach reach) const
{
    switch (reach) {
    case Reach::Reached:
        break;
    case Reach::NoSuchHost:
        return QStringLiteral("サーバー名が見つかりません。");
    case Reach::Refused:
        return QStringLiteral("接続を拒否されました。");
    case Reach::NoAnswer:
        return QStringLiteral("応答がありません（%1秒）。").arg(m_timeoutMs / 1000);
    }
    return QString();
}

std::shared_ptr<WireGuard> VmimeSession::configure(const vmime::shared_ptr<vmime::net::service> &service,
                                                   const ServerAddress &server, std::unique_ptr<TcpLine> line)
{
    const QString file = m_trustFile.isEmpty()
                             ? QDir(ProgramFolder::dataFolder()).filePath(QStringLiteral("cacert.pem"))
                             : m_trustFile;
    // In the plain form the user chose no encryption at all; otherwise a connection that does
    // not start TLS carries neither a password nor a mail.
    service->setProperty("connection.tls", !server.plain);
    service->setProperty("connection.tls.required", !server.plain);
    service->setCertificateVerifier(vmime::make_shared<ChainVerifier>(file, server));
    auto guard = std::make_shared<WireGuard>(m_timeoutMs, m_waitHook);
    // Connecting, TLS and the login are a handful of short replies.
    guard->setAllowance(qint64(m_timeoutMs) * 2);
    service->setTimeoutHandlerFactory(vmime::make_shared<GuardedTimeoutFactory>(guard));
    service->setSocketFactory(vmime::make_shared<LineSocketFactory>(std::shared_ptr<TcpLine>(std::move(line)), guard));
    if (qEnvironmentVariableIntValue("WANDERPUP_TRANSPORT_TRACE"))
        service->setTracerFactory(vmime::make_shared<StderrTracerFactory>());
    return guard;
}

vmime::shared_ptr<vmime::net::store> VmimeSession::pop3Store(const ServerAddress &server, std::unique_ptr<TcpLine> line,
                                                             std::shared_ptr<WireGuard> &guard)
{
    vmime::utility::url url(server.implicitTls ? "pop3s" : "pop3", server.host, server.port);
    auto store = m_session->getStore(url);
    guard = configure(store, server, std::move(line));
    return store;
}

vmime::shared_ptr<vmime::net::transport> VmimeSession::smtpTransport(const ServerAddress &server,
                                                                     std::unique_ptr<TcpLine> line,
                                                                     std::shared_ptr<WireGuard> &guard)
{
    vmime::utility::url url(server.implicitTls ? "smtps" : "smtp", server.host, server.port);
    auto transport = m_session->getTransport(url);
    guard = configure(transport, server, std::move(line));
    return transport;
}

QString VmimeSession::quoted(const std::string &text)
{
    constexpr qsizetype kShown = 400;
    QString shown = QString::fromUtf8(text.data(), qsizetype(std::min<size_t>(text.size(), kShown * 4)));
    for (QChar &ch : shown)
        if (ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format)
            ch = u' ';
    shown = shown.simplified();
    if (shown.size() > kShown)
        shown = shown.left(kShown) + u'…';
    return shown;
}

QString VmimeSession::unencryptedText(const QString &role, const QString &scheme, const ServerAddress &server,
                                      bool offered, const QString &reply, bool mail)
{
    const QString where = QStringLiteral("%1サーバー「%2」").arg(role, server.display);
    QString text = offered ? QStringLiteral("%1が暗号化通信（TLS）を始めませんでした。").arg(where)
                           : QStringLiteral("%1は暗号化通信（TLS）に対応していません。").arg(where);
    text += mail ? QStringLiteral("メールとパスワードが暗号化されずに送られるため、送信しませんでした。")
                 : QStringLiteral("パスワードが暗号化されずに送られるため、ログインしませんでした。");
    if (!reply.isEmpty())
        text += QStringLiteral("\r\nサーバーの応答: %1").arg(reply);
    text += QStringLiteral("\r\n暗号化せずに接続してよいときは、サーバーを「%1+plain://%2」の形で指定して下さい。")
                .arg(scheme, server.display);
    return text;
}

QString VmimeSession::describe(const std::exception &e, const QString &what, const ServerAddress &server,
                               const WireGuard *guard) const
{
    const QString where = QStringLiteral("%1サーバー「%2」").arg(what, server.display);
    if (dynamic_cast<const vmime::exceptions::operation_timed_out *>(&e)
        || dynamic_cast<const Pop3Reader::TimedOut *>(&e)) {
        if (guard && guard->tooSlow())
            return QStringLiteral("%1の応答が遅すぎるため、通信をあきらめました。").arg(where);
        QString text = QStringLiteral("%1から%2秒以上応答がないため、通信をあきらめました。")
                           .arg(where, QString::number(m_timeoutMs / 1000));
        // A port that speaks TLS from its first byte waits for us to begin, as we wait for it.
        if (guard && guard->silentFromTheStart() && !server.implicitTls)
            text += QStringLiteral("\r\nこのポートが接続の初めから暗号化通信（TLS）を使うものなら、サーバーを"
                                   "「%1s://%2」の形で指定して下さい。")
                        .arg(what == QLatin1String("POP3") ? QStringLiteral("pop3") : QStringLiteral("smtp"),
                             server.display);
        return text;
    }
    if (dynamic_cast<const ReplyTooLong *>(&e))
        return QStringLiteral("%1から長すぎる応答が届いたため、通信をやめました。").arg(where);
    if (auto b = dynamic_cast<const Pop3Reader::Broken *>(&e))
        return QStringLiteral("%1の応答がPOP3の決まりに合わないため、通信をやめました。\r\n詳細: %2")
            .arg(where, fromStd(b->what()));
    if (auto a = dynamic_cast<const vmime::exceptions::authentication_error *>(&e))
        return QStringLiteral(
                   "%1にログインできませんでした。IDとパスワード（APOPの設定）を確かめてください。"
                   "\r\nサーバーの応答: %2")
            .arg(where, fromStd(a->response()));
    if (auto r = dynamic_cast<const CertificateRefused *>(&e))
        return certificateText(r->certificate(), where);
    if (dynamic_cast<const vmime::security::cert::certificateException *>(&e))
        return QStringLiteral(
                   "%1の証明書を信頼できないため、暗号化通信（TLS）を始められませんでした。"
                   "サーバー名と証明書を確かめてください（自分で署名した証明書は★MailDataフォルダの"
                   "cacert.pemに入れると信頼されます）。\r\n詳細: %2")
            .arg(where, fromStd(e.what()));
    if (dynamic_cast<const vmime::exceptions::tls_exception *>(&e))
        return QStringLiteral(
                   "%1との暗号化通信（TLS）を始められませんでした。サーバーの証明書を確かめてください。"
                   "\r\n詳細: %2")
            .arg(where, fromStd(e.what()));
    if (auto g = dynamic_cast<const vmime::exceptions::connection_greeting_error *>(&e))
        return QStringLiteral("%1が接続を受け付けませんでした。\r\nサーバーの応答: %2")
            .arg(where, fromStd(g->response()));
    if (auto c = dynamic_cast<const vmime::exceptions::command_error *>(&e)) {
        const QString command = fromStd(c->command()).toUpper();
        if (command.startsWith(QLatin1String("STLS")) || command.startsWith(QLatin1String("STARTTLS")))
            return unencryptedText(what, what == QLatin1String("POP3") ? QStringLiteral("pop3")
                                                                       : QStringLiteral("smtp"),
                                   server, true, fromStd(c->response()), what != QLatin1String("POP3"));
        return QStringLiteral("%1がコマンドを受け付けませんでした。\r\nサーバーの応答: %2")
            .arg(where, fromStd(c->response()));
    }
    if (auto r = dynamic_cast<const Pop3Reader::Refused *>(&e))
        return QStringLiteral("%1がコマンドを受け付けませんでした。\r\nサーバーの応答: %2")
            .arg(where, fromStd(r->reply()));
    if (auto r = dynamic_cast<const vmime::exceptions::invalid_response *>(&e))
        return QStringLiteral("%1から予期しない応答がありました。\r\nサーバーの応答: %2")
            .arg(where, fromStd(r->response()));
    if (dynamic_cast<const vmime::exceptions::socket_exception *>(&e)
        || dynamic_cast<const vmime::exceptions::not_connected *>(&e))
        return QStringLiteral("%1との接続が切れました。").arg(where);
    return QStringLiteral("%1との通信に失敗しました。\r\n詳細: %2").arg(where, fromStd(e.what()));
}

QString VmimeSession::certificateText(const ServerCertificate &certificate, const QString &where)
{
    if (!certificate.trustable)
        return QStringLiteral("%1の証明書を信頼できないため、暗号化通信（TLS）を始められませんでした。\r\n%2")
            .arg(where, certificate.flaw);
    if (certificate.changed())
        return QStringLiteral("%1の証明書が前に信頼した証明書と違うため、暗号化通信（TLS）をやめました。"
                              "誰かが通信に割り込んでいるおそれがあります。\r\n新しい証明書の SHA-256: %2")
            .arg(where, ServerCertificate::hex(certificate.sha256));
    return QStringLiteral("%1の証明書を確かめられないため、暗号化通信（TLS）をやめました。\r\n%2")
        .arg(where, certificate.reasons().join(QStringLiteral("\r\n")));
}

std::optional<ServerCertificate> VmimeSession::refusedCertificate(const std::exception &e)
{
    if (auto r = dynamic_cast<const CertificateRefused *>(&e))
        return r->certificate();
    return std::nullopt;
}

std::unique_ptr<Pop3Reader::Wire> VmimeSession::pop3Wire(const vmime::shared_ptr<vmime::net::store> &store,
                                                         std::shared_ptr<WireGuard> guard)
{
    return std::make_unique<Pop3Wire>(store, std::move(guard));
}
