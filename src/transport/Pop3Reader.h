#pragma once

#include <QByteArray>

#include <deque>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// The POP3 dialogue after the login, spoken here rather than by the mail library so that
// commands can be pipelined: the next mails are asked for while one is being handled, and
// deletions go out in batches. (The library's reply reader takes whatever has arrived as one
// reply, which pipelining breaks.)
class Pop3Reader
{
public:
    // The connection as the reader sees it: bytes out, bytes in.
    class Wire
    {
    public:
        virtual ~Wire() = default;
        virtual void send(const std::string &bytes) = 0;
        // Waits for what the server sends next and copies at least one byte of it into
        // `buffer`. Throws when nothing comes within the time-out or the connection is gone.
        virtual size_t receive(char *buffer, size_t capacity) = 0;
        // The dialogue line by line, for a trace (commands as sent, replies without line end).
        virtual void traceSent(const std::string &line) { (void)line; }
        virtual void traceReceived(const std::string &line) { (void)line; }
    };

    // The server answered a command with "-ERR"; the connection itself is fine.
    class Refused : public std::runtime_error
    {
    public:
        Refused(const std::string &command, const std::string &reply)
            : std::runtime_error(command + ": " + reply), m_reply(reply)
        {
        }
        const std::string &reply() const { return m_reply; }

    private:
        std::string m_reply;
    };

    // `mailCount`: the mails in the mailbox, numbered from 1.
    Pop3Reader(Wire &wire, int mailCount);

    // Mail `number` as the server sent it (dot-stuffing undone, CRLF line ends). Where the
    // server pipelines, the next mails are asked for too, so that they arrive while this one is
    // handled. Throws Refused for a mail the server refuses, and what the wire throws.
    QByteArray retrieve(int number);
    // Whether mail `number` was handed out whole by retrieve().
    bool retrieved(int number) const { return m_retrieved.count(number) > 0; }
    // The size of mail `number` when it has already been read ahead, else -1.
    qsizetype sizeReadAhead(int number) const;

    // Reads every reply still on its way, keeping the mails for when they are asked for. Due
    // before anyone else speaks on the connection.
    void drain();
    // DELE for each number, in batches where the server pipelines (one round trip per batch
    // instead of one per mail). Returns how many the server refused; `lastRefusal` gets the
    // reply to the last of them.
    int deleteMails(const std::vector<int> &numbers, std::string &lastRefusal);

private:
    void send(const std::vector<std::string> &commands);
    void receiveMore();
    std::string readLine();
    QByteArray readRetr();
    bool canPipeline();

    Wire &m_wire;
    int m_count;
    std::string m_inbox; // received, not yet consumed
    size_t m_inboxPos = 0;
    std::deque<int> m_inFlight;        // RETR sent, reply not yet read
    std::map<int, QByteArray> m_ahead; // replies read before they were asked for
    std::set<int> m_retrieved;
    int m_pipelining = -1; // -1 not asked yet
};
