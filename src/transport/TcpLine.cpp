#include "TcpLine.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStepMs = 30;

struct Lookup
{
    gaicb request{};
    addrinfo hints{};
    std::string host;
    std::string port;
};

// The addresses of `host`, looked up without holding the windows; null when there are none or
// the time ran out (`timedOut`).
addrinfo *lookUp(const std::string &host, int port, const QElapsedTimer &clock, int timeoutMs,
                 const std::function<void()> &tick, bool &timedOut)
{
    timedOut = false;
    // An address needs no lookup (and no helper thread for one).
    addrinfo numeric{};
    numeric.ai_socktype = SOCK_STREAM;
    numeric.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &numeric, &found) == 0)
        return found;
    // Kept on the heap: a lookup that cannot be cancelled still writes into it when it ends.
    auto *lookup = new Lookup;
    lookup->host = host;
    lookup->port = std::to_string(port);
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->port.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb *list[] = {&lookup->request};
    if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
        delete lookup;
        return nullptr;
    }
    for (;;) {
        const timespec step{0, kStepMs * 1000000L};
        gai_suspend(list, 1, &step);
        const int state = gai_error(&lookup->request);
        if (state != EAI_INPROGRESS) {
            addrinfo *result = state == 0 ? lookup->request.ar_result : nullptr;
            delete lookup;
            return result;
        }
        if (clock.elapsed() >= timeoutMs) {
            timedOut = true;
            if (gai_cancel(&lookup->request) == EAI_CANCELED)
                delete lookup;
            return nullptr; // otherwise left to the lookup, which is still running
        }
        if (tick)
            tick();
    }
}

} // namespace

std::unique_ptr<TcpLine> TcpLine::dial(const std::string &host, int port, int timeoutMs,
                                       const std::function<void()> &tick, Reach &reach)
{
    QElapsedTimer clock;
    clock.start();
    bool timedOut = false;
    addrinfo *addresses = lookUp(host, port, clock, timeoutMs, tick, timedOut);
    if (!addresses) {
        reach = timedOut ? Reach::NoAnswer : Reach::NoSuchHost;
        return nullptr;
    }
    reach = Reach::Refused;
    int connected = -1;
    for (addrinfo *ai = addresses; ai && connected < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        bool ok = ::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0;
        if (!ok && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int ready = 0;
            while (ready == 0) {
                const qint64 left = timeoutMs - clock.elapsed();
                if (left <= 0)
                    break;
                ready = ::poll(&p, 1, int(std::min<qint64>(left, kStepMs)));
                if (ready < 0 && errno == EINTR)
                    ready = 0;
                if (ready == 0 && tick)
                    tick();
            }
            if (ready > 0) {
                int error = 0;
                socklen_t length = sizeof error;
                ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
            } else if (ready == 0) {
                reach = Reach::NoAnswer;
            }
        }
        if (ok) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            connected = fd;
        } else {
            ::close(fd);
        }
        if (reach == Reach::NoAnswer)
            break; // the time is up for the other addresses too
    }
    freeaddrinfo(addresses);
    if (connected < 0)
        return nullptr;
    reach = Reach::Reached;
    return std::unique_ptr<TcpLine>(new TcpLine(connected, host));
}

TcpLine::~TcpLine()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int TcpLine::take()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}
