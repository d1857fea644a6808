#include "Pop3Reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kRetrWindow = 32;            // mails asked for ahead of the one being handled
constexpr qint64 kRetrWindowBytes = 8 << 20;  // and no more than this much of them
constexpr size_t kDeleteBatch = 500;
constexpr size_t kChunk = 64 * 1024;

bool positive(const std::string &reply) { return reply.rfind("+OK", 0) == 0; }

// The numbers at the start of a line: "3 120" or "+OK 3 120".
bool twoNumbers(const std::string &text, qint64 &first, std::string &rest)
{
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const size_t start = pos;
    qint64 value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 12)
        value = value * 10 + (text[pos++] - '0');
    if (pos == start || (pos < text.size() && text[pos] != ' '))
        return false;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    first = value;
    rest = text.substr(pos);
    return true;
}

qint64 leadingNumber(const std::string &text)
{
    qint64 value = -1;
    std::string rest;
    return twoNumbers(text, value, rest) ? value : -1;
}

// A unique id as RFC 1939 allows it: 1 to 70 characters from 0x21 to 0x7E.
bool validId(const std::string &id)
{
    if (id.empty() || id.size() > 70)
        return false;
    for (const char c : id)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

} // namespace

Pop3Reader::Pop3Reader(Wire &wire, int timeoutMs) : m_wire(wire), m_timeoutMs(timeoutMs) {}

void Pop3Reader::send(const std::vector<std::string> &commands)
{
    std::string all;
    for (const std::string &line : commands) {
        m_wire.traceSent(line);
        all += line + "\r\n";
    }
    m_wire.send(all);
}

void Pop3Reader::beginReply()
{
    m_replyClock.start();
    m_replyBytes = 0;
}

// Waits for more of the reply being read. The reply's time limit grows with what it brought, so a
// large mail on a slow line gets its time while a server that drips bytes does not hold the
// connection for ever.
void Pop3Reader::receiveMore()
{
    if (m_inboxPos > kChunk && m_inboxPos * 2 > m_inbox.size()) {
        m_inbox.erase(0, m_inboxPos);
        m_scanned -= m_inboxPos;
        m_inboxPos = 0;
    }
    const qint64 allowed = m_timeoutMs + m_replyBytes * 1000 / MinBytesPerSecond;
    const qint64 left = allowed - m_replyClock.elapsed();
    if (left <= 0)
        throw TimedOut();
    char chunk[kChunk];
    const size_t got = std::min(m_wire.receive(chunk, sizeof chunk, int(std::min<qint64>(left, m_timeoutMs))), kChunk);
    m_inbox.append(chunk, got);
    m_replyBytes += qint64(got);
}

std::string Pop3Reader::readLine()
{
    for (;;) {
        m_scanned = std::max(m_scanned, m_inboxPos);
        const size_t eol = m_inbox.find('\n', m_scanned);
        if (eol != std::string::npos) {
            if (eol - m_inboxPos > size_t(MaxLine))
                throw Broken("POP3 line too long");
            std::string line = m_inbox.substr(m_inboxPos, eol - m_inboxPos);
            m_inboxPos = m_scanned = eol + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        m_scanned = m_inbox.size();
        if (m_scanned - m_inboxPos > size_t(MaxLine))
            throw Broken("POP3 line too long");
        receiveMore();
    }
}

// Each line of a multi-line reply up to its closing ".", dot-stuffing undone, as it comes;
// `limit` bounds the whole reply. Throws Refused for "-ERR".
void Pop3Reader::readMultiLine(const std::string &command, qint64 limit,
                               const std::function<void(const std::string &)> &each)
{
    beginReply();
    const std::string status = readLine();
    m_wire.traceReceived(status);
    if (!positive(status))
        throw Refused(command, status);
    qint64 total = 0;
    for (std::string line = readLine(); line != "."; line = readLine()) {
        total += qint64(line.size()) + 2;
        if (total > limit)
            throw Broken("POP3 listing too long");
        if (line.rfind("..", 0) == 0)
            line.erase(0, 1);
        each(line);
    }
}

// The reply to the oldest RETR in flight. The mail's bytes are taken straight from the inbox, each
// looked at once: runs of ordinary CRLF lines are copied at once, only line ends without CR and
// dot-stuffed lines are handled one by one, and a line without an end is copied as it arrives.
QByteArray Pop3Reader::readRetr(bool keep)
{
    const int number = m_inFlight.front();
    m_inFlight.pop_front();
    beginReply();
    const std::string status = readLine();
    m_wire.traceReceived(status);
    if (!positive(status))
        throw Refused("RETR " + std::to_string(number), status);
    // "+OK 2480 octets" and LIST both announce the size; the mail must be at least that long.
    qint64 announced = announcedSize(number);
    const qint64 octets = leadingNumber(status.substr(3));
    if (octets >= 0)
        announced = std::max(announced, octets);
    const qint64 limit = announced >= 0 ? std::min(MaxMail, announced * 2 + 65536) : MaxMail;
    QByteArray raw;
    // Room for what is likely to come, grown by what does come: an announced size is no
    // reason to take a gigabyte for a mail of a few lines.
    raw.reserve(qsizetype(std::clamp<qint64>(announced + 2, 0, 1 << 20)));
    qint64 dropped = 0; // bytes not kept
    bool lineStart = true;
    for (;;) {
        const char *base = m_inbox.data();
        const size_t size = m_inbox.size();
        size_t pos = m_inboxPos;
        size_t run = pos; // start of the bytes not yet copied
        bool done = false;
        // Grown by doubling as bytes come, but never beyond the announced size while the mail
        // keeps to it: a large mail is then held in one block of its own size.
        auto makeRoom = [&](qsizetype n) {
            const qsizetype need = raw.size() + n;
            if (need <= raw.capacity())
                return;
            qsizetype room = std::max(raw.capacity() * 2, need);
            if (announced >= 0 && need <= announced + 2)
                room = std::min<qsizetype>(room, qsizetype(announced + 2));
            raw.reserve(room);
        };
        auto flush = [&](size_t upTo) {
            if (upTo > run) {
                if (keep) {
                    makeRoom(qsizetype(upTo - run));
                    raw.append(base + run, qsizetype(upTo - run));
                } else {
                    dropped += qint64(upTo - run);
                }
            }
            run = upTo;
        };
        auto append = [&](const char *bytes, qsizetype n) {
            if (keep) {
                makeRoom(n);
                raw.append(bytes, n);
            } else {
                dropped += n;
            }
        };
        while (pos < size) {
            if (lineStart && base[pos] == '.') {
                // The closing line, or a stuffed dot: needs the bytes after the dot.
                if (pos + 1 >= size || (base[pos + 1] == '\r' && pos + 2 >= size))
                    break;
                flush(pos);
                if (base[pos + 1] == '\n' || (base[pos + 1] == '\r' && base[pos + 2] == '\n')) {
                    pos += base[pos + 1] == '\n' ? 2 : 3;
                    run = pos;
                    done = true;
                    break;
                }
                if (base[pos + 1] == '.')
                    run = pos + 1; // ".." stands for "."
            }
            lineStart = false;
            const void *hit = memchr(base + pos, '\n', size - pos);
            if (!hit) {
                pos = size;
                break;
            }
            const size_t eol = size_t(static_cast<const char *>(hit) - base);
            if (eol > run && base[eol - 1] == '\r') {
                pos = eol + 1; // an ordinary line: stays in the run
            } else {
                flush(eol);
                append("\r\n", 2);
                pos = run = eol + 1;
            }
            lineStart = true;
        }
        // A CR at the very end may be the first half of a line end: it waits for the rest.
        size_t keepFrom = done ? pos : (pos == size && size > run && base[size - 1] == '\r' ? size - 1 : pos);
        flush(keepFrom);
        m_inboxPos = m_scanned = keepFrom;
        if (qint64(raw.size()) + dropped > limit)
            throw Broken(announced >= 0 ? "POP3 mail longer than announced" : "POP3 mail too large");
        if (done)
            break;
        receiveMore();
    }
    m_wire.traceReceived("{..." + std::to_string(raw.size() + dropped) + " bytes of mail...}");
    if (announced >= 0 && qint64(raw.size()) + dropped < announced)
        throw MailUnusable(MailUnusable::Short, announced, qint64(raw.size()) + dropped);
    return raw;
}

bool Pop3Reader::canPipeline()
{
    if (m_pipelining < 0) {
        m_pipelining = 0;
        send({"CAPA"});
        try {
            readMultiLine("CAPA", MaxLine, [this](const std::string &line) {
                if (QByteArray::fromStdString(line).trimmed().toUpper() == "PIPELINING")
                    m_pipelining = 1;
            });
        } catch (const Refused &) {
        }
    }
    return m_pipelining == 1;
}

int Pop3Reader::start()
{
    const bool pipelined = canPipeline();
    if (pipelined)
        send({"STAT", "LIST", "UIDL"});
    else
        send({"STAT"});
    beginReply();
    const std::string stat = readLine();
    m_wire.traceReceived(stat);
    if (!positive(stat))
        throw Refused("STAT", stat);
    const qint64 count = leadingNumber(stat.substr(3));
    if (count < 0 || count > 1'000'000)
        throw Broken("POP3 STAT reply makes no sense: " + stat);
    m_count = int(count);
    if (m_count == 0 && !pipelined)
        return 0;
    // About 30 bytes a line; a server that sends more than that per mail is not listing.
    const qint64 limit = qint64(m_count) * 128 + MaxLine;
    for (const char *command : {"LIST", "UIDL"}) {
        if (!pipelined)
            send({command});
        const bool list = command[0] == 'L';
        std::map<QByteArray, int> seen;
        int highest = 0;
        const auto take = [&](const std::string &line) {
            qint64 number = 0;
            std::string rest;
            if (!twoNumbers(line, number, rest) || number < 1 || number > m_count)
                return;
            if (list) {
                const qint64 size = leadingNumber(rest);
                if (size >= 0)
                    m_sizes[int(number)] = size;
                highest = std::max(highest, int(number));
                return;
            }
            const std::string id = rest.substr(0, rest.find(' '));
            if (!validId(id))
                return;
            const QByteArray key = QByteArray::fromStdString(id);
            // An id given to two mails names neither: a mail must never be taken for another.
            if (auto it = seen.find(key); it != seen.end()) {
                m_ids.erase(it->second);
                it->second = 0;
                return;
            }
            seen[key] = int(number);
            m_ids[int(number)] = key;
        };
        try {
            readMultiLine(command, limit, take);
        } catch (const Refused &) {
            continue;
        }
        // LIST names every mail there is: a STAT that claims more is not believed.
        if (list)
            m_count = std::min(m_count, highest);
    }
    return m_count;
}

qint64 Pop3Reader::announcedSize(int number) const
{
    const auto it = m_sizes.find(number);
    return it == m_sizes.end() ? -1 : it->second;
}

QByteArray Pop3Reader::uniqueId(int number) const
{
    const auto it = m_ids.find(number);
    return it == m_ids.end() ? QByteArray() : it->second;
}

QByteArray Pop3Reader::retrieve(int number)
{
    // Replies to mails nobody wants any more are read past.
    while (!m_inFlight.empty() && m_inFlight.front() != number && m_unwanted.count(m_inFlight.front())) {
        try {
            readRetr(false);
        } catch (const Refused &) {
        } catch (const MailUnusable &) {
        }
    }
    if (!m_inFlight.empty() && m_inFlight.front() != number)
        drain(); // asked out of order: keep what was read ahead
    QByteArray raw;
    if (auto found = m_ahead.find(number); found != m_ahead.end()) {
        raw = std::move(found->second);
        m_ahead.erase(found);
    } else {
        if (announcedSize(number) > MaxMail)
            throw MailUnusable(MailUnusable::TooLarge, announcedSize(number), 0);
        std::vector<std::string> commands;
        const size_t window = canPipeline() ? kRetrWindow : 1;
        qint64 bytes = 0;
        for (int n : m_inFlight)
            bytes += std::max<qint64>(announcedSize(n), 0);
        if (m_inFlight.empty()) {
            commands.push_back("RETR " + std::to_string(number));
            m_inFlight.push_back(number);
            bytes += std::max<qint64>(announcedSize(number), 0);
        }
        // Topped up only when half used: one command packet (a TLS record, a system call) per
        // several mails instead of one per mail.
        const bool topUp = m_inFlight.size() <= window / 2;
        for (int next = m_inFlight.back() + 1;
             topUp && m_inFlight.size() < window && bytes < kRetrWindowBytes && next <= m_count; ++next) {
            if (m_retrieved.count(next) || m_ahead.count(next) || m_unwanted.count(next)
                || announcedSize(next) > MaxMail)
                continue;
            commands.push_back("RETR " + std::to_string(next));
            m_inFlight.push_back(next);
            bytes += std::max<qint64>(announcedSize(next), 0);
        }
        if (!commands.empty())
            send(commands);
        raw = readRetr(true);
    }
    m_retrieved.insert(number);
    return raw;
}

void Pop3Reader::drain()
{
    while (!m_inFlight.empty()) {
        const int number = m_inFlight.front();
        try {
            QByteArray raw = readRetr(!m_unwanted.count(number));
            if (!m_unwanted.count(number))
                m_ahead[number] = std::move(raw);
        } catch (const Refused &) {
        } catch (const MailUnusable &) {
        }
    }
}

int Pop3Reader::deleteMails(const std::vector<int> &numbers, std::string &lastRefusal)
{
    // What is still on its way is of no use now.
    for (int n : m_inFlight)
        m_unwanted.insert(n);
    drain();
    m_ahead.clear();
    if (numbers.empty())
        return 0;
    const size_t batch = canPipeline() ? kDeleteBatch : 1;
    int refused = 0;
    for (size_t start = 0; start < numbers.size(); start += batch) {
        const size_t end = std::min(numbers.size(), start + batch);
        std::vector<std::string> commands;
        for (size_t i = start; i < end; ++i)
            commands.push_back("DELE " + std::to_string(numbers[i]));
        send(commands);
        for (size_t i = start; i < end; ++i) {
            beginReply();
            const std::string line = readLine();
            m_wire.traceReceived(line);
            if (!positive(line)) {
                ++refused;
                lastRefusal = line;
            }
        }
    }
    return refused;
}

void Pop3Reader::quit()
{
    for (int n : m_inFlight)
        m_unwanted.insert(n);
    drain();
    send({"QUIT"});
    beginReply();
    const std::string reply = readLine();
    m_wire.traceReceived(reply);
    if (!positive(reply))
        throw Refused("QUIT", reply);
}
