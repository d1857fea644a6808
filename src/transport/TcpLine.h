#pragma once

#include <functional>
#include <memory>
#include <string>

// One TCP connection to a server, made before the mail library speaks on it, so that a check or
// a send opens exactly one connection and the reason it could not is known. The name is looked
// up and the connection made in short waits, each followed by `tick` (the windows' turn), and
// the whole is given up after the time-out: the system alone would wait minutes.
class TcpLine
{
public:
    enum class Reach { Reached, NoSuchHost, Refused, NoAnswer };

    // Reach::Reached and a line, or the reason and none.
    static std::unique_ptr<TcpLine> dial(const std::string &host, int port, int timeoutMs,
                                         const std::function<void()> &tick, Reach &reach);
    ~TcpLine();
    TcpLine(const TcpLine &) = delete;
    TcpLine &operator=(const TcpLine &) = delete;

    // The connected, non-blocking descriptor; the line keeps it until taken.
    int fd() const { return m_fd; }
    int take();
    const std::string &host() const { return m_host; }

private:
    TcpLine(int fd, std::string host) : m_fd(fd), m_host(std::move(host)) {}
    int m_fd;
    std::string m_host;
};
