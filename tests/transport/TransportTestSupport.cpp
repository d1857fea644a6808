#include "TransportTestSupport.h"

#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::unique_ptr<MailServers> &holder()
{
    static std::unique_ptr<MailServers> s;
    return s;
}

class ServersEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { holder().reset(); }
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new ServersEnvironment);

int listenLoopback(quint16 &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(fd, 16);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int connectLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

MailServers &servers()
{
    if (!holder())
        holder() = std::make_unique<MailServers>();
    return *holder();
}

QByteArray sjis(const QString &text) { return Cp932::fromUnicode(text); }

QByteArray crlf(const QByteArray &lf)
{
    QByteArray out = lf;
    out.replace("\r\n", "\n");
    out.replace("\n", "\r\n");
    return out;
}

namespace MailCharsetProbe {

QByteArray encode(const QString &text, const char *charset)
{
    iconv_t cd = iconv_open(charset, "UTF-8");
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 4 + 16, '\0');
    char *src = in.data();
    char *dst = out.data();
    size_t srcLeft = size_t(in.size());
    size_t dstLeft = size_t(out.size());
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(dstLeft));
    return out;
}

QByteArray quotedPrintable(const QByteArray &bytes)
{
    QByteArray out;
    int column = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        QByteArray piece = (c >= 33 && c <= 126 && c != '=')
                               ? QByteArray(1, char(c))
                               : "=" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        if (column + piece.size() > 72) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    }
    return out;
}

QByteArray iso2022jp(const QByteArray &cp932)
{
    QByteArray out;
    enum { Ascii, Kanji, Kana } mode = Ascii;
    for (int i = 0; i < cp932.size(); ++i) {
        uchar s1 = uchar(cp932[i]);
        if ((s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xFC)) {
            const uchar s2 = uchar(cp932[++i]);
            if (mode != Kanji)
                out += "\x1b$B";
            mode = Kanji;
            int row = (s1 >= 0xE0 ? s1 - 0x40 : s1) - 0x81;
            int j1 = row * 2 + 0x21;
            int j2;
            if (s2 >= 0x9F) {
                ++j1;
                j2 = s2 - 0x7E;
            } else {
                j2 = s2 - (s2 >= 0x80 ? 0x20 : 0x1F);
            }
            out += char(j1);
            out += char(j2);
        } else if (s1 >= 0xA1 && s1 <= 0xDF) {
            if (mode != Kana)
                out += "\x1b(I";
            mode = Kana;
            out += char(s1 - 0x80);
        } else {
            if (mode != Ascii)
                out += "\x1b(B";
            mode = Ascii;
            out += char(s1);
        }
    }
    if (mode != Ascii)
        out += "\x1b(B";
    return out;
}

} // namespace MailCharsetProbe

SilentServer::SilentServer()
{
    m_fd = listenLoopback(m_port);
    m_thread = std::thread([this] {
        std::vector<int> held; // accepted and kept open, never written to
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) == 1) {
                const int c = ::accept(m_fd, nullptr, nullptr);
                if (c >= 0)
                    held.push_back(c);
            }
        }
        for (int c : held)
            ::close(c);
    });
}

SilentServer::~SilentServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
}

CuttingProxy::CuttingProxy(quint16 target, qint64 cutAfter) : m_target(target), m_cutAfter(cutAfter)
{
    m_fd = listenLoopback(m_port);
    m_thread = std::thread([this] { run(); });
}

CuttingProxy::~CuttingProxy()
{
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
}

void CuttingProxy::run()
{
    // One client at a time is enough for the tests.
    while (!m_stop) {
        pollfd lp{m_fd, POLLIN, 0};
        if (::poll(&lp, 1, 100) != 1)
            continue;
        const int client = ::accept(m_fd, nullptr, nullptr);
        if (client < 0)
            continue;
        ++m_connections;
        const int server = connectLoopback(m_target);
        const qint64 cutAfter = m_cutAfter;
        qint64 sent = 0;
        bool open = server >= 0;
        while (open && !m_stop) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0)
                continue;
            char buf[4096];
            if (p[0].revents) {
                const ssize_t n = ::read(client, buf, sizeof buf);
                if (n <= 0 || ::write(server, buf, size_t(n)) != n)
                    open = false;
            }
            if (open && p[1].revents) {
                ssize_t n = ::read(server, buf, sizeof buf);
                if (n <= 0) {
                    open = false;
                } else {
                    if (cutAfter > 0 && sent + n >= cutAfter) {
                        n = ssize_t(cutAfter - sent);
                        if (n > 0 && ::write(client, buf, size_t(n)) != n) {
                        }
                        m_cut = true;
                        open = false;
                    } else if (::write(client, buf, size_t(n)) != n) {
                        open = false;
                    }
                    sent += n;
                    m_serverBytes += n;
                }
            }
        }
        ::shutdown(client, SHUT_RDWR);
        ::close(client);
        if (server >= 0)
            ::close(server);
    }
}
