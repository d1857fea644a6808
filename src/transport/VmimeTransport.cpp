#include "VmimeTransport.h"

#include "MimeReader.h"
#include "MimeWriter.h"
#include "ServerAddress.h"
#include "platform/Cp932.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <vmime/platforms/posix/posixHandler.hpp>
#include <vmime/security/cert/certificateException.hpp>
#include <vmime/security/cert/defaultCertificateVerifier.hpp>
#include <vmime/net/pop3/POP3Connection.hpp>
#include <vmime/net/pop3/POP3Store.hpp>
#include <vmime/net/smtp/SMTPTransport.hpp>
#include <vmime/vmime.hpp>

#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kDefaultTimeoutMs = 60000;
constexpr size_t kRetrWindow = 32; // mails asked for ahead of the one being handled
const char *const kSystemAuthorities = "/etc/ssl/certs/ca-certificates.crt";

// A TCP connection attempt that gives up after `timeoutMs`.
bool probe(const ServerAddress &server, int timeoutMs, QString &why)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = AF_UNSPEC;
    addrinfo *list = nullptr;
    const std::string port = std::to_string(server.port);
    if (getaddrinfo(server.host.c_str(), port.c_str(), &hints, &list) != 0 || !list) {
        why = QStringLiteral("サーバー名が見つかりません。");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    bool connected = false;
    why = QStringLiteral("接続を拒否されました。");
    for (addrinfo *ai = list; ai && !connected; ai = ai->ai_next) {
        const int fd =
            ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const int left = int(std::max<qint64>(0, timeoutMs - clock.elapsed()));
            if (::poll(&p, 1, left) == 1) {
                int err = 0;
                socklen_t len = sizeof err;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                connected = err == 0;
            } else {
                why = QStringLiteral("応答がありません（%1秒）。").arg(timeoutMs / 1000);
            }
        }
        ::close(fd);
    }
    freeaddrinfo(list);
    return connected;
}

class TimeoutHandler final : public vmime::net::timeoutHandler
{
public:
    explicit TimeoutHandler(int ms) : m_ms(ms) { m_clock.start(); }
    bool isTimeOut() override { return m_clock.elapsed() >= m_ms; }
    void resetTimeOut() override { m_clock.restart(); }
    bool handleTimeOut() override { return false; } // give up: nobody is there to ask

private:
    int m_ms;
    QElapsedTimer m_clock;
};

// VMime asks for the peer's name after TLS is set up and hands the resolver a whole socket
// address as if it were an IP address, so a reverse lookup of a made-up address would leave the
// machine. The name we connected to is the right answer anyway; everything else is the
// platform's own socket.
class NamedSocket final : public vmime::net::socket
{
public:
    explicit NamedSocket(vmime::shared_ptr<vmime::net::socket> inner) : m_inner(std::move(inner)) {}

    void connect(const vmime::string &address, const vmime::port_t port) override
    {
        m_name = address;
        m_inner->connect(address, port);
    }
    const vmime::string getPeerName() const override { return m_name; }

    void disconnect() override { m_inner->disconnect(); }
    bool isConnected() const override { return m_inner->isConnected(); }
    bool waitForRead(const int msecs) override { return m_inner->waitForRead(msecs); }
    bool waitForWrite(const int msecs) override { return m_inner->waitForWrite(msecs); }
    void receive(vmime::string &buffer) override { m_inner->receive(buffer); }
    size_t receiveRaw(vmime::byte_t *buffer, const size_t count) override { return m_inner->receiveRaw(buffer, count); }
    void send(const vmime::string &buffer) override { m_inner->send(buffer); }
    void send(const char *str) override { m_inner->send(str); }
    void sendRaw(const vmime::byte_t *buffer, const size_t count) override { m_inner->sendRaw(buffer, count); }
    size_t sendRawNonBlocking(const vmime::byte_t *buffer, const size_t count) override
    {
        return m_inner->sendRawNonBlocking(buffer, count);
    }
    size_t getBlockSize() const override { return m_inner->getBlockSize(); }
    unsigned int getStatus() const override { return m_inner->getStatus(); }
    const vmime::string getPeerAddress() const override { return m_inner->getPeerAddress(); }
    vmime::shared_ptr<vmime::net::timeoutHandler> getTimeoutHandler() override { return m_inner->getTimeoutHandler(); }
    void setTracer(vmime::shared_ptr<vmime::net::tracer> tracer) override { m_inner->setTracer(tracer); }
    vmime::shared_ptr<vmime::net::tracer> getTracer() override { return m_inner->getTracer(); }

private:
    vmime::shared_ptr<vmime::net::socket> m_inner;
    vmime::string m_name;
};

class NamedSocketFactory final : public vmime::net::socketFactory
{
public:
    vmime::shared_ptr<vmime::net::socket> create() override
    {
        return vmime::make_shared<NamedSocket>(platformFactory()->create());
    }
    vmime::shared_ptr<vmime::net::socket> create(vmime::shared_ptr<vmime::net::timeoutHandler> th) override
    {
        return vmime::make_shared<NamedSocket>(platformFactory()->create(th));
    }

private:
    static vmime::shared_ptr<vmime::net::socketFactory> platformFactory()
    {
        return vmime::platform::getHandler()->getSocketFactory();
    }
};

class TimeoutFactory final : public vmime::net::timeoutHandlerFactory
{
public:
    explicit TimeoutFactory(int ms) : m_ms(ms) {}
    vmime::shared_ptr<vmime::net::timeoutHandler> create() override
    {
        return vmime::make_shared<TimeoutHandler>(m_ms);
    }

private:
    int m_ms;
};

// WANDERPUP_TRANSPORT_TRACE=1 prints the protocol dialogue to stderr, passwords masked.
class StderrTracer final : public vmime::net::tracer
{
public:
    void traceSend(const vmime::string &line) override
    {
        std::string shown = line;
        const std::string upper = QByteArray::fromStdString(line.substr(0, 5)).toUpper().toStdString();
        if (upper.rfind("PASS ", 0) == 0 || upper.rfind("APOP ", 0) == 0 || upper.rfind("AUTH ", 0) == 0)
            shown = line.substr(0, 5) + "****";
        fprintf(stderr, "C: %s\n", shown.c_str());
    }
    void traceReceive(const vmime::string &line) override { fprintf(stderr, "S: %s\n", line.c_str()); }
};

class StderrTracerFactory final : public vmime::net::tracerFactory
{
public:
    vmime::shared_ptr<vmime::net::tracer> create(vmime::shared_ptr<vmime::net::service>, const int) override
    {
        return vmime::make_shared<StderrTracer>();
    }
};

using CertList = std::vector<vmime::shared_ptr<vmime::security::cert::X509Certificate>>;

// Every certificate of a PEM file.
void loadCertificates(const QString &path, CertList &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray pem = f.readAll();
    static const QByteArray begin("-----BEGIN CERTIFICATE-----");
    static const QByteArray end("-----END CERTIFICATE-----");
    qsizetype pos = 0;
    while ((pos = pem.indexOf(begin, pos)) >= 0) {
        const qsizetype stop = pem.indexOf(end, pos);
        if (stop < 0)
            break;
        const QByteArray one = pem.mid(pos, stop + end.size() - pos);
        pos = stop + end.size();
        try {
            if (auto cert = vmime::security::cert::X509Certificate::import(
                    reinterpret_cast<const vmime::byte_t *>(one.constData()), size_t(one.size())))
                out.push_back(cert);
        } catch (...) {
        }
    }
}

const CertList &systemAuthorities()
{
    static const CertList list = [] {
        CertList l;
        loadCertificates(QString::fromLatin1(kSystemAuthorities), l);
        return l;
    }();
    return list;
}

// Checks a server against the user's own certificates first and reads the system's list (some
// hundred certificates) only when those do not vouch for it. Trusting more roots never refuses
// a chain that fewer roots accept, so the verdict and its message are those of the whole list.
class LazyVerifier final : public vmime::security::cert::certificateVerifier
{
public:
    explicit LazyVerifier(CertList own) : m_own(std::move(own)) {}

    void verify(vmime::shared_ptr<vmime::security::cert::certificateChain> chain,
                const vmime::string &hostname) override
    {
        if (!m_own.empty()) {
            try {
                make(m_own)->verify(chain, hostname);
                return;
            } catch (...) {
            }
        }
        CertList all = systemAuthorities();
        all.insert(all.end(), m_own.begin(), m_own.end());
        make(all)->verify(chain, hostname);
    }

private:
    static vmime::shared_ptr<vmime::security::cert::defaultCertificateVerifier> make(const CertList &roots)
    {
        auto v = vmime::make_shared<vmime::security::cert::defaultCertificateVerifier>();
        v->setX509RootCAs(roots);
        return v;
    }

    CertList m_own;
};

struct Pop3Connection
{
    ServerAddress server;
    vmime::shared_ptr<vmime::net::store> store;
    vmime::shared_ptr<vmime::net::folder> folder;
    bool broken = false;
    int count = 0;
    int cachedNumber = 0;
    // The mail last retrieved, read once for the status, retrieval and attachment calls.
    std::shared_ptr<MimeReader::Message> cached;
    std::set<int> retrieved;
    std::set<int> toDelete; // sent at close, pipelined where the server can

    // After the login the transport speaks to the server itself, so that commands can be
    // pipelined (VMime's reply reader takes whatever has arrived as one reply).
    std::string inbox; // received, not yet consumed
    size_t inboxPos = 0;
    std::deque<int> inFlight;        // RETR sent, reply not yet read
    std::map<int, QByteArray> ahead; // replies read before they were asked for
    int pipelining = -1;             // -1 not asked yet
};

QString fromStd(const std::string &s) { return QString::fromUtf8(s.data(), qsizetype(s.size())).trimmed(); }

} // namespace

struct VmimeTransport::Impl
{
    QByteArray lastMessage;
    int timeoutMs = kDefaultTimeoutMs;
    QString trustFile;
    QByteArray smtpId;
    QByteArray smtpPassword;
    vmime::shared_ptr<vmime::net::session> session;
    std::map<int, Pop3Connection> connections;
    int nextHandle = 1;
    // The last mail retrieved on each connection, kept for the attachment decoding, which gets
    // the mail only as rebuilt text. Small: one mail per handle, a few handles.
    std::map<int, std::shared_ptr<MimeReader::Message>> lastRaw;

    void fail(const QString &text, const QByteArray &secret = {})
    {
        QByteArray bytes = Cp932::fromUnicode(text);
        if (secret.size() >= 1)
            bytes.replace(secret, "****");
        lastMessage = bytes;
    }

    vmime::shared_ptr<vmime::security::cert::certificateVerifier> verifier()
    {
        CertList own;
        const QString file = trustFile.isEmpty()
                                 ? QDir(ProgramFolder::dataFolder()).filePath(QStringLiteral("cacert.pem"))
                                 : trustFile;
        loadCertificates(file, own);
        return vmime::make_shared<LazyVerifier>(own);
    }

    void configure(const vmime::shared_ptr<vmime::net::service> &service)
    {
        service->setProperty("connection.tls", true);
        service->setProperty("connection.tls.required", false);
        service->setCertificateVerifier(verifier());
        service->setTimeoutHandlerFactory(vmime::make_shared<TimeoutFactory>(timeoutMs));
        service->setSocketFactory(vmime::make_shared<NamedSocketFactory>());
        if (qEnvironmentVariableIntValue("WANDERPUP_TRANSPORT_TRACE"))
            service->setTracerFactory(vmime::make_shared<StderrTracerFactory>());
    }

    // The failure text for an exception of a network step. `what` names the server role.
    QString describe(const std::exception &e, const QString &what, const ServerAddress &server)
    {
        const QString where = QStringLiteral("%1サーバー「%2」").arg(what, server.display);
        if (dynamic_cast<const vmime::exceptions::operation_timed_out *>(&e))
            return QStringLiteral("%1から%2秒以上応答がないため、通信をあきらめました。")
                .arg(where)
                .arg(timeoutMs / 1000);
        if (auto a = dynamic_cast<const vmime::exceptions::authentication_error *>(&e))
            return QStringLiteral(
                       "%1にログインできませんでした。IDとパスワード（APOPの設定）を確かめてください。"
                       "\r\nサーバーの応答: %2")
                .arg(where, fromStd(a->response()));
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
        if (auto c = dynamic_cast<const vmime::exceptions::command_error *>(&e))
            return QStringLiteral("%1がコマンドを受け付けませんでした。\r\nサーバーの応答: %2")
                .arg(where, fromStd(c->response()));
        if (auto r = dynamic_cast<const vmime::exceptions::invalid_response *>(&e))
            return QStringLiteral("%1から予期しない応答がありました。\r\nサーバーの応答: %2")
                .arg(where, fromStd(r->response()));
        if (dynamic_cast<const vmime::exceptions::socket_exception *>(&e)
            || dynamic_cast<const vmime::exceptions::not_connected *>(&e))
            return QStringLiteral("%1との接続が切れました。").arg(where);
        return QStringLiteral("%1との通信に失敗しました。\r\n詳細: %2").arg(where, fromStd(e.what()));
    }

    Pop3Connection *connection(int handle)
    {
        auto it = connections.find(handle);
        if (it == connections.end()) {
            fail(QStringLiteral("POP3サーバーに接続していません。"));
            return nullptr;
        }
        return &it->second;
    }

    vmime::shared_ptr<vmime::net::pop3::POP3Connection> wire(Pop3Connection &c)
    {
        auto store = vmime::dynamicCast<vmime::net::pop3::POP3Store>(c.store);
        auto conn = store ? store->getConnection() : nullptr;
        if (!conn)
            throw vmime::exceptions::not_connected();
        return conn;
    }

    void send(Pop3Connection &c, const std::vector<std::string> &commands)
    {
        auto conn = wire(c);
        std::string all;
        for (const std::string &line : commands) {
            if (auto tracer = conn->getTracer())
                tracer->traceSend(line);
            all += line + "\r\n";
        }
        conn->getSocket()->send(all);
    }

    // Reads whatever the server has sent next into the inbox; gives up after the time-out.
    void receiveMore(Pop3Connection &c, const vmime::shared_ptr<vmime::net::socket> &socket,
                     const vmime::shared_ptr<vmime::net::timeoutHandler> &timeout)
    {
        if (c.inboxPos > 65536 && c.inboxPos * 2 > c.inbox.size()) {
            c.inbox.erase(0, c.inboxPos);
            c.inboxPos = 0;
        }
        for (;;) {
            vmime::byte_t chunk[65536];
            const size_t got = socket->receiveRaw(chunk, sizeof chunk);
            c.inbox.append(reinterpret_cast<const char *>(chunk), got);
            if (got > 0) {
                if (timeout)
                    timeout->resetTimeOut();
                return;
            }
            if (timeout && timeout->isTimeOut())
                throw vmime::exceptions::operation_timed_out();
            socket->waitForRead(100);
        }
    }

    // One line from the server without its line end; gives up after the time-out.
    std::string readLine(Pop3Connection &c)
    {
        auto conn = wire(c);
        auto socket = conn->getSocket();
        auto timeout = conn->getTimeoutHandler();
        if (timeout)
            timeout->resetTimeOut();
        for (;;) {
            const size_t eol = c.inbox.find('\n', c.inboxPos);
            if (eol != std::string::npos) {
                std::string line = c.inbox.substr(c.inboxPos, eol - c.inboxPos);
                c.inboxPos = eol + 1;
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            receiveMore(c, socket, timeout);
        }
    }

    // The reply to the oldest RETR in flight: the mail as it was sent, or a command error.
    // Lines are taken straight from the inbox: runs of ordinary CRLF lines are copied at once,
    // only line ends without CR and dot-stuffed lines are handled one by one.
    QByteArray readRetr(Pop3Connection &c)
    {
        const int number = c.inFlight.front();
        c.inFlight.pop_front();
        const std::string status = readLine(c);
        auto conn = wire(c);
        auto tracer = conn->getTracer();
        if (tracer)
            tracer->traceReceive(status);
        if (status.rfind("+OK", 0) != 0)
            throw vmime::exceptions::command_error("RETR " + std::to_string(number), status);
        auto socket = conn->getSocket();
        auto timeout = conn->getTimeoutHandler();
        if (timeout)
            timeout->resetTimeOut();
        QByteArray raw;
        // "+OK 2480 octets": room for the mail at once instead of growing it step by step.
        const qsizetype octets = QByteArray::fromStdString(status).mid(3).trimmed().split(' ').value(0).toLongLong();
        if (octets > 0 && octets < (qsizetype(1) << 30))
            raw.reserve(octets + 2);
        size_t pos = c.inboxPos; // start of the next line
        size_t run = pos;        // start of the lines not yet copied
        auto flush = [&](size_t upTo) {
            if (upTo > run)
                raw.append(c.inbox.data() + run, qsizetype(upTo - run));
        };
        for (;;) {
            const char *base = c.inbox.data();
            const size_t size = c.inbox.size();
            const void *hit = pos < size ? memchr(base + pos, '\n', size - pos) : nullptr;
            if (!hit) {
                flush(pos);
                c.inboxPos = pos; // everything before is copied; the inbox may drop it now
                receiveMore(c, socket, timeout);
                pos = run = c.inboxPos;
                continue;
            }
            const size_t eol = size_t(static_cast<const char *>(hit) - base);
            const bool cr = eol > pos && base[eol - 1] == '\r';
            const size_t lineEnd = cr ? eol - 1 : eol;
            if (base[pos] == '.') {
                flush(pos);
                if (lineEnd - pos == 1) { // the closing "."
                    c.inboxPos = eol + 1;
                    break;
                }
                const size_t from = (lineEnd - pos >= 2 && base[pos + 1] == '.') ? pos + 1 : pos;
                raw.append(base + from, qsizetype(lineEnd - from));
                raw.append("\r\n", 2);
                pos = run = eol + 1;
            } else if (!cr) {
                flush(lineEnd);
                raw.append("\r\n", 2);
                pos = run = eol + 1;
            } else {
                pos = eol + 1;
            }
        }
        if (tracer)
            tracer->traceReceive("{..." + std::to_string(raw.size()) + " bytes of mail...}");
        return raw;
    }

    bool canPipeline(Pop3Connection &c)
    {
        if (c.pipelining < 0) {
            c.pipelining = 0;
            send(c, {"CAPA"});
            if (readLine(c).rfind("+OK", 0) == 0)
                for (std::string line = readLine(c); line != "."; line = readLine(c))
                    if (QByteArray::fromStdString(line).trimmed().toUpper() == "PIPELINING")
                        c.pipelining = 1;
        }
        return c.pipelining == 1;
    }

    // Reads every reply still on its way, keeping the mails for when they are asked for.
    void drain(Pop3Connection &c)
    {
        while (!c.inFlight.empty()) {
            const int number = c.inFlight.front();
            c.ahead[number] = readRetr(c);
        }
    }

    // DELE for every mail marked on the connection, pipelined in batches where the server
    // allows it (one round trip per batch instead of one per mail).
    void sendDeletions(Pop3Connection &c)
    {
        drain(c);
        c.ahead.clear();
        if (c.toDelete.empty())
            return;
        const std::vector<int> numbers(c.toDelete.begin(), c.toDelete.end());
        const size_t batch = canPipeline(c) ? 500 : 1;
        int refused = 0;
        std::string reply;
        for (size_t start = 0; start < numbers.size(); start += batch) {
            const size_t end = std::min(numbers.size(), start + batch);
            std::vector<std::string> commands;
            for (size_t i = start; i < end; ++i)
                commands.push_back("DELE " + std::to_string(numbers[i]));
            send(c, commands);
            for (size_t i = start; i < end; ++i) {
                const std::string line = readLine(c);
                if (auto tracer = wire(c)->getTracer())
                    tracer->traceReceive(line);
                if (line.rfind("+OK", 0) != 0) {
                    ++refused;
                    reply = line;
                }
            }
        }
        if (refused)
            fail(QStringLiteral(
                     "POP3サーバー「%1」が%2通のメールの削除を受け付けませんでした。\r\nサーバーの応答: %3")
                     .arg(c.server.display)
                     .arg(refused)
                     .arg(fromStd(reply)));
    }

    const MimeReader::Mail &parsed(Pop3Connection &c) { return c.cached->mail(); }

    // Retrieves mail `number` whole (once; the status, size and retrieval calls share it).
    bool fetch(int handle, Pop3Connection &c, int number)
    {
        if (c.cachedNumber == number && number > 0)
            return true;
        if (c.broken || !c.folder) {
            fail(QStringLiteral("POP3サーバー「%1」との接続が切れています。").arg(c.server.display));
            return false;
        }
        if (number < 1 || number > c.count) {
            fail(QStringLiteral("%1番のメールはサーバーにありません。").arg(number));
            return false;
        }
        try {
            QByteArray raw;
            if (!c.inFlight.empty() && c.inFlight.front() != number)
                drain(c); // asked out of order: keep what was read ahead
            auto found = c.ahead.find(number);
            if (found != c.ahead.end()) {
                raw = found->second;
                c.ahead.erase(found);
            } else {
                // Ask for this mail and, where the server pipelines, the next few too, so that
                // the server sends them while this one is being read and handled.
                std::vector<std::string> commands;
                const size_t window = canPipeline(c) ? kRetrWindow : 1;
                if (c.inFlight.empty()) {
                    commands.push_back("RETR " + std::to_string(number));
                    c.inFlight.push_back(number);
                }
                // Topped up only when half used: one command packet (a TLS record, a system
                // call) per several mails instead of one per mail.
                const bool topUp = c.inFlight.size() <= window / 2;
                for (int next = c.inFlight.back() + 1; topUp && c.inFlight.size() < window && next <= c.count;
                     ++next) {
                    if (c.retrieved.count(next) || c.ahead.count(next))
                        continue;
                    commands.push_back("RETR " + std::to_string(next));
                    c.inFlight.push_back(next);
                }
                if (!commands.empty())
                    send(c, commands);
                raw = readRetr(c);
            }
            c.cachedNumber = number;
            c.cached = std::make_shared<MimeReader::Message>(raw);
            c.retrieved.insert(number);
            lastRaw[handle] = c.cached;
            return true;
        } catch (const vmime::exceptions::command_error &e) {
            // The server refused this one mail ("-ERR"); the connection itself is fine.
            fail(QStringLiteral("%1番のメールを受信できませんでした。\r\nサーバーの応答: %2")
                     .arg(number)
                     .arg(fromStd(e.response())));
            return false;
        } catch (const std::exception &e) {
            c.broken = true; // a cut or silent connection is not used again
            c.cachedNumber = 0;
            c.cached.reset();
            fail(describe(e, QStringLiteral("POP3"), c.server));
            return false;
        }
    }
};

VmimeTransport::VmimeTransport() : d(std::make_unique<Impl>())
{
    static const bool platformReady = [] {
        vmime::platform::setHandler<vmime::platforms::posix::posixHandler>();
        return true;
    }();
    (void)platformReady;
    d->session = vmime::net::session::create();
}

VmimeTransport::~VmimeTransport() { NMailEndWinSock(); }

void VmimeTransport::NMailInitializeWinSock() {}
void VmimeTransport::NMailSetOption(int, int) {}

void VmimeTransport::setTimeout(int milliseconds)
{
    d->timeoutMs = milliseconds > 0 ? milliseconds : kDefaultTimeoutMs;
}

void VmimeTransport::setSmtpCredentials(const QByteArray &id, const QByteArray &password)
{
    d->smtpId = id;
    d->smtpPassword = password;
}

void VmimeTransport::setTrustFile(const QString &path) { d->trustFile = path; }

int VmimeTransport::NMailPop3Connect(const QByteArray &serverText)
{
    const ServerAddress server = ServerAddress::parse(serverText, true);
    if (!server.valid) {
        d->fail(
            QStringLiteral("POP3サーバーの指定「%1」が正しくありません。").arg(Cp932::toUnicode(serverText)));
        return -1;
    }
    QString why;
    if (!probe(server, d->timeoutMs, why)) {
        d->fail(QStringLiteral("POP3サーバー「%1」に接続できません。%2").arg(server.display, why));
        return -1;
    }
    const int handle = d->nextHandle++;
    d->connections[handle].server = server;
    return handle;
}

int VmimeTransport::NMailPop3Authenticate(int handle, const QByteArray &id, const QByteArray &password,
                                          int apopFlag)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (c->store) {
        d->fail(QStringLiteral("すでにログインしています。"));
        return -1;
    }
    try {
        vmime::utility::url url(c->server.implicitTls ? "pop3s" : "pop3", c->server.host, c->server.port);
        c->store = d->session->getStore(url);
        d->configure(c->store);
        const bool apop = apopFlag != 0;
        c->store->setProperty("options.apop", apop);
        c->store->setProperty("options.apop.fallback", false); // never send an APOP password in clear
        c->store->setProperty("options.sasl", false);          // or VMime logs in with PLAIN instead
        c->store->setProperty("options.sasl.fallback", false);
        c->store->setProperty("auth.username", id.toStdString());
        c->store->setProperty("auth.password", password.toStdString());
        c->store->connect();
        c->folder = c->store->getDefaultFolder();
        c->folder->open(vmime::net::folder::MODE_READ_WRITE);
        c->count = int(c->folder->getMessageCount());
        return c->count;
    } catch (const std::exception &e) {
        c->broken = true;
        d->fail(d->describe(e, QStringLiteral("POP3"), c->server), password);
        try {
            if (c->store && c->store->isConnected())
                c->store->disconnect();
        } catch (...) {
        }
        c->folder.reset();
        c->store.reset();
        return -1;
    }
}

int VmimeTransport::NMailPop3GetMailStatus(int handle, int number, QByteArray &subject, QByteArray &date,
                                           QByteArray &from, QByteArray &header, int)
{
    // Status and retrieval share one fetch of the mail; the body is simply not handed back.
    QByteArray body;
    return NMailPop3GetMail(handle, number, subject, date, from, header, body, 0, 0);
}

int VmimeTransport::NMailPop3GetMailSize(int handle, int number)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (c->cachedNumber == number && number > 0 && c->cached)
        return int(c->cached->raw().size());
    if (c->broken || !c->folder || number < 1 || number > c->count) {
        d->fail(QStringLiteral("%1番のメールの大きさを調べられません。").arg(number));
        return -1;
    }
    try {
        if (auto found = c->ahead.find(number); found != c->ahead.end())
            return int(found->second.size());
        d->drain(*c); // VMime reads the LIST reply itself
        auto msg = c->folder->getMessage(size_t(number));
        c->folder->fetchMessage(msg, vmime::net::fetchAttributes::SIZE);
        return int(msg->getSize());
    } catch (const vmime::exceptions::command_error &e) {
        d->fail(QStringLiteral("%1番のメールの大きさを調べられません。\r\nサーバーの応答: %2")
                    .arg(number)
                    .arg(fromStd(e.response())));
        return -1;
    } catch (const std::exception &e) {
        c->broken = true;
        d->fail(d->describe(e, QStringLiteral("POP3"), c->server));
        return -1;
    }
}

int VmimeTransport::NMailPop3GetMail(int handle, int number, QByteArray &subject, QByteArray &date,
                                     QByteArray &from, QByteArray &header, QByteArray &body, int, int)
{
    subject.clear();
    date.clear();
    from.clear();
    header.clear();
    body.clear();
    Pop3Connection *c = d->connection(handle);
    if (!c || !d->fetch(handle, *c, number))
        return -1;
    const MimeReader::Mail &mail = d->parsed(*c);
    subject = mail.subject;
    date = mail.date;
    from = mail.from;
    header = mail.header;
    body = mail.body;
    return 0;
}

int VmimeTransport::NMailAttachmentFileFirst(int, QByteArray &, QByteArray &, QByteArray &,
                                             QByteArray &header, QByteArray &, const QString &folder,
                                             const QString &, const QByteArray &mailText, int)
{
    std::shared_ptr<MimeReader::Message> message;
    // The header as the caller holds it may have been cut (at a NUL, or to its 8 KB buffer).
    const QByteArray given = MimeReader::headerBlock(header + "\r\n\r\n");
    for (auto it = d->lastRaw.rbegin(); it != d->lastRaw.rend() && !given.isEmpty(); ++it) {
        const QByteArray &stored = it->second->mail().header;
        if (stored == given || (given.size() >= 1024 && stored.startsWith(given))) {
            message = it->second;
            break;
        }
    }
    if (!message) {
        QByteArray raw = mailText;
        const int nul = int(raw.indexOf('\0'));
        if (nul >= 0)
            raw.truncate(nul);
        message = std::make_shared<MimeReader::Message>(raw);
    }
    QString target = folder;
    target.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const int result = message->saveAttachments(target);
    if (result == MimeReader::CannotWrite)
        d->fail(QStringLiteral("添付ファイルを「%1」に書き込めませんでした。")
                    .arg(QDir::toNativeSeparators(target)));
    else if (result == MimeReader::PartsMissing)
        d->fail(QStringLiteral("分割されたメールの残りの部分がこのメールにありません。"));
    return result;
}

int VmimeTransport::NMailAttachmentFileClose(int) { return 0; }

int VmimeTransport::NMailPop3DeleteMail(int handle, int number)
{
    Pop3Connection *c = d->connection(handle);
    if (!c)
        return -1;
    if (!c->retrieved.count(number)) {
        d->fail(QStringLiteral("%1番のメールは受信できていないため、サーバーから削除しませんでした。")
                    .arg(number));
        return -1;
    }
    if (c->broken || !c->folder) {
        d->fail(QStringLiteral("POP3サーバー「%1」との接続が切れています。").arg(c->server.display));
        return -1;
    }
    c->toDelete.insert(number);
    return 0;
}

int VmimeTransport::NMailPop3Close(int handle)
{
    auto it = d->connections.find(handle);
    if (it == d->connections.end())
        return -1;
    Pop3Connection c = std::move(it->second);
    d->connections.erase(it);
    int result = 0;
    try {
        if (c.folder && !c.broken) {
            d->sendDeletions(c);
            c.folder->close(true); // no RSET: QUIT makes the deletions take effect
        }
        if (c.store && c.store->isConnected())
            c.store->disconnect();
    } catch (const std::exception &e) {
        d->fail(d->describe(e, QStringLiteral("POP3"), c.server));
        result = -1;
    }
    // Keep only a few closed connections' mails for the attachment decoding.
    while (d->lastRaw.size() > 4)
        d->lastRaw.erase(d->lastRaw.begin());
    return result;
}

int VmimeTransport::NMailSmtpSendMail(const QByteArray &serverText, const QByteArray &to,
                                      const QByteArray &from, const QByteArray &subject,
                                      const QByteArray &body, const QString &attachments, int)
{
    const ServerAddress server = ServerAddress::parse(serverText, false);
    if (!server.valid) {
        d->fail(
            QStringLiteral("SMTPサーバーの指定「%1」が正しくありません。").arg(Cp932::toUnicode(serverText)));
        return -1;
    }
    MimeWriter::Outgoing mail;
    mail.from = from;
    mail.to = to;
    mail.subject = subject;
    mail.body = body;
    mail.attachments = attachments;
    QString error;
    QByteArray raw;
    QList<QByteArray> recipients;
    if (!MimeWriter::build(mail, raw, recipients, error)) {
        d->fail(error);
        return -1;
    }

    QByteArray id = d->smtpId;
    QByteArray password = d->smtpPassword;
    if (id.isEmpty() && password.isEmpty()) {
        QString value;
        IniFile::GetPrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QString(), value,
                                         256, ProgramFolder::idPassIni());
        id = Cp932::fromUnicode(value);
        IniFile::GetPrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"), QString(), value,
                                         256, ProgramFolder::idPassIni());
        password = Cp932::fromUnicode(value);
    }

    QString why;
    if (!probe(server, d->timeoutMs, why)) {
        d->fail(QStringLiteral("SMTPサーバー「%1」に接続できません。%2").arg(server.display, why));
        return -1;
    }
    vmime::shared_ptr<vmime::net::transport> transport;
    try {
        vmime::utility::url url(server.implicitTls ? "smtps" : "smtp", server.host, server.port);
        auto open = [&](bool auth) {
            transport = d->session->getTransport(url);
            d->configure(transport);
            transport->setProperty("options.need-authentication", auth);
            if (auth) {
                transport->setProperty("auth.username", id.toStdString());
                transport->setProperty("auth.password", password.toStdString());
            }
            transport->connect();
        };
        // Log in only where the server offers AUTH: many plain relays have none, and the
        // account data is always there for POP3.
        open(false);
        if (!id.isEmpty() && !password.isEmpty()) {
            auto smtp = vmime::dynamicCast<vmime::net::smtp::SMTPTransport>(transport);
            if (smtp && smtp->getConnection() && smtp->getConnection()->hasExtension("AUTH")) {
                transport->disconnect();
                open(true);
            }
        }
        vmime::mailboxList rcpts;
        for (const QByteArray &r : recipients)
            rcpts.appendMailbox(vmime::make_shared<vmime::mailbox>(vmime::emailAddress(r.toStdString())));
        const QByteArray sender = MimeWriter::addressOnly(from);
        // VMime ends the data with CRLF "." CRLF itself; a line end of our own would add an
        // empty line to the mail.
        if (raw.endsWith("\r\n"))
            raw.chop(2);
        vmime::utility::inputStreamStringAdapter is(raw.toStdString());
        try {
            transport->send(vmime::mailbox(vmime::emailAddress(sender.toStdString())), rcpts, is,
                            size_t(raw.size()));
        } catch (const vmime::exceptions::command_error &e) {
            const QString cmd = fromStd(e.command());
            if (cmd.startsWith(QLatin1String("RCPT"), Qt::CaseInsensitive))
                throw std::runtime_error("RCPT\n" + e.response());
            if (cmd.startsWith(QLatin1String("MAIL"), Qt::CaseInsensitive))
                throw std::runtime_error("MAIL\n" + e.response());
            throw;
        }
        transport->disconnect();
        return 0;
    } catch (const std::runtime_error &e) {
        const QString text = fromStd(e.what());
        if (text.startsWith(QLatin1String("RCPT\n")))
            d->fail(
                QStringLiteral(
                    "宛先のアドレスがSMTPサーバー「%1」に受け付けられませんでした。\r\nサーバーの応答: %2")
                    .arg(server.display, text.mid(5)),
                password);
        else if (text.startsWith(QLatin1String("MAIL\n")))
            d->fail(
                QStringLiteral(
                    "差出人のアドレスがSMTPサーバー「%1」に受け付けられませんでした。\r\nサーバーの応答: %2")
                    .arg(server.display, text.mid(5)),
                password);
        else
            d->fail(d->describe(e, QStringLiteral("SMTP"), server), password);
    } catch (const std::exception &e) {
        d->fail(d->describe(e, QStringLiteral("SMTP"), server), password);
    }
    try {
        if (transport && transport->isConnected())
            transport->disconnect();
    } catch (...) {
    }
    return -1;
}

QByteArray VmimeTransport::NMailGetMessage() { return d->lastMessage; }

void VmimeTransport::NMailEndWinSock()
{
    for (auto &[handle, c] : d->connections) {
        try {
            if (c.store && c.store->isConnected())
                c.store->disconnect();
        } catch (...) {
        }
    }
    d->connections.clear();
}
