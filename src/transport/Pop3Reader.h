#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// The POP3 dialogue after the login, spoken here rather than by the mail library so that
// commands can be pipelined (the next mails are asked for while one is being handled, deletions
// go out in batches) and so that a misbehaving server is held to bounds: every line and every
// reply has a size limit, every reply a time limit in proportion to what it carries, and a mail
// shorter than the server announced is not taken for whole.
class Pop3Reader
{
public:
    // The connection as the reader sees it: bytes out, bytes in.
    class Wire
    {
    public:
        virtual ~Wire() = default;
        virtual void send(const std::string &bytes) = 0;
        // Waits at most `waitMs` for what the server sends next and copies at least one byte of
        // it into `buffer`. Throws when nothing comes in that time or the connection is gone.
        virtual size_t receive(char *buffer, size_t capacity, int waitMs) = 0;
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

    // One mail could not be taken whole, but the dialogue is still in step: the mail came
    // shorter than announced, or it is larger than the reader takes at all.
    class MailUnusable : public std::runtime_error
    {
    public:
        enum Why { Short, TooLarge };
        MailUnusable(Why why, qint64 announced, qint64 received)
            : std::runtime_error(why == Short ? "mail shorter than announced" : "mail too large"), why(why),
              announced(announced), received(received)
        {
        }
        Why why;
        qint64 announced;
        qint64 received;
    };

    // The server broke the protocol (a line or reply beyond its bound, a reply that makes no
    // sense): the connection cannot be used any more.
    class Broken : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // A reply did not arrive within its time limit; the connection cannot be used any more.
    class TimedOut : public std::runtime_error
    {
    public:
        TimedOut() : std::runtime_error("POP3 reply timed out") {}
    };

    // Bounds. A status or listing line longer than MaxLine is a broken server; mails larger than
    // MaxMail are left on the server. A reply may take the time-out plus one second for every
    // MinBytesPerSecond it carries; a mail may come at most twice its announced size.
    static constexpr qsizetype MaxLine = 64 * 1024;
    static constexpr qint64 MaxMail = qint64(128) << 20;
    static constexpr qint64 MinBytesPerSecond = 4096;

    // `timeoutMs`: how long the server may stay silent.
    Pop3Reader(Wire &wire, int timeoutMs);

    // STAT, then LIST and UIDL (together where the server pipelines). Returns the number of
    // mails, numbered from 1. LIST and UIDL refused is no failure: sizes and ids stay unknown.
    int start();
    int count() const { return m_count; }
    // The size LIST announced, -1 when unknown.
    qint64 announcedSize(int number) const;
    // The server's unique id of the mail (UIDL), empty when the server gave none or gave the
    // same id to more than one mail.
    QByteArray uniqueId(int number) const;

    // Mail `number` as the server sent it (dot-stuffing undone, CRLF line ends). Where the
    // server pipelines, the next mails are asked for too, so that they arrive while this one is
    // handled. Throws Refused or MailUnusable for this mail alone; Broken, TimedOut and what the
    // wire throws for the connection.
    QByteArray retrieve(int number);
    // Whether mail `number` was handed out whole by retrieve().
    bool retrieved(int number) const { return m_retrieved.count(number) > 0; }
    // Mail `number` will not be asked for: it is not read ahead.
    void forget(int number) { m_unwanted.insert(number); }

    // Reads every reply still on its way, keeping the mails for when they are asked for. Due
    // before anyone else speaks on the connection.
    void drain();
    // DELE for each number, in batches where the server pipelines (one round trip per batch
    // instead of one per mail). Returns how many the server refused; `lastRefusal` gets the
    // reply to the last of them.
    int deleteMails(const std::vector<int> &numbers, std::string &lastRefusal);
    // QUIT: the deletions take effect. Throws Refused when the server answers "-ERR".
    void quit();

private:
    void send(const std::vector<std::string> &commands);
    void beginReply();
    void receiveMore();
    std::string readLine();
    void readMultiLine(const std::string &command, qint64 limit,
                       const std::function<void(const std::string &)> &each);
    QByteArray readRetr(bool keep);
    bool canPipeline();

    Wire &m_wire;
    int m_timeoutMs;
    int m_count = 0;
    std::string m_inbox; // received, not yet consumed
    size_t m_inboxPos = 0;
    size_t m_scanned = 0; // m_inbox holds no '\n' in [m_inboxPos, m_scanned)
    QElapsedTimer m_replyClock;
    qint64 m_replyBytes = 0;
    std::deque<int> m_inFlight;        // RETR sent, reply not yet read
    std::map<int, QByteArray> m_ahead; // replies read before they were asked for
    std::set<int> m_retrieved;
    std::set<int> m_unwanted;
    std::map<int, qint64> m_sizes;
    std::map<int, QByteArray> m_ids;
    int m_pipelining = -1; // -1 not asked yet
};
