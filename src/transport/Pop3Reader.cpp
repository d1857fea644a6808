#include "Pop3Reader.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kRetrWindow = 32; // mails asked for ahead of the one being handled
constexpr size_t kDeleteBatch = 500;

bool positive(const std::string &reply) { return reply.rfind("+OK", 0) == 0; }

} // namespace

Pop3Reader::Pop3Reader(Wire &wire, int mailCount) : m_wire(wire), m_count(mailCount) {}

void Pop3Reader::send(const std::vector<std::string> &commands)
{
    std::string all;
    for (const std::string &line : commands) {
        m_wire.traceSent(line);
        all += line + "\r\n";
    }
    m_wire.send(all);
}

void Pop3Reader::receiveMore()
{
    if (m_inboxPos > 65536 && m_inboxPos * 2 > m_inbox.size()) {
        m_inbox.erase(0, m_inboxPos);
        m_inboxPos = 0;
    }
    char chunk[65536];
    const size_t got = m_wire.receive(chunk, sizeof chunk);
    m_inbox.append(chunk, got);
}

std::string Pop3Reader::readLine()
{
    for (;;) {
        const size_t eol = m_inbox.find('\n', m_inboxPos);
        if (eol != std::string::npos) {
            std::string line = m_inbox.substr(m_inboxPos, eol - m_inboxPos);
            m_inboxPos = eol + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        receiveMore();
    }
}

// The reply to the oldest RETR in flight. Lines are taken straight from the inbox: runs of
// ordinary CRLF lines are copied at once, only line ends without CR and dot-stuffed lines are
// handled one by one.
QByteArray Pop3Reader::readRetr()
{
    const int number = m_inFlight.front();
    m_inFlight.pop_front();
    const std::string status = readLine();
    m_wire.traceReceived(status);
    if (!positive(status))
        throw Refused("RETR " + std::to_string(number), status);
    QByteArray raw;
    // "+OK 2480 octets": room for the mail at once instead of growing it step by step.
    const qsizetype octets = QByteArray::fromStdString(status).mid(3).trimmed().split(' ').value(0).toLongLong();
    if (octets > 0 && octets < (qsizetype(1) << 30))
        raw.reserve(octets + 2);
    size_t pos = m_inboxPos; // start of the next line
    size_t run = pos;        // start of the lines not yet copied
    auto flush = [&](size_t upTo) {
        if (upTo > run)
            raw.append(m_inbox.data() + run, qsizetype(upTo - run));
    };
    for (;;) {
        const char *base = m_inbox.data();
        const size_t size = m_inbox.size();
        const void *hit = pos < size ? memchr(base + pos, '\n', size - pos) : nullptr;
        if (!hit) {
            flush(pos);
            m_inboxPos = pos; // everything before is copied; the inbox may drop it now
            receiveMore();
            pos = run = m_inboxPos;
            continue;
        }
        const size_t eol = size_t(static_cast<const char *>(hit) - base);
        const bool cr = eol > pos && base[eol - 1] == '\r';
        const size_t lineEnd = cr ? eol - 1 : eol;
        if (base[pos] == '.') {
            flush(pos);
            if (lineEnd - pos == 1) { // the closing "."
                m_inboxPos = eol + 1;
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
    m_wire.traceReceived("{..." + std::to_string(raw.size()) + " bytes of mail...}");
    return raw;
}

bool Pop3Reader::canPipeline()
{
    if (m_pipelining < 0) {
        m_pipelining = 0;
        send({"CAPA"});
        if (positive(readLine()))
            for (std::string line = readLine(); line != "."; line = readLine())
                if (QByteArray::fromStdString(line).trimmed().toUpper() == "PIPELINING")
                    m_pipelining = 1;
    }
    return m_pipelining == 1;
}

QByteArray Pop3Reader::retrieve(int number)
{
    if (!m_inFlight.empty() && m_inFlight.front() != number)
        drain(); // asked out of order: keep what was read ahead
    QByteArray raw;
    if (auto found = m_ahead.find(number); found != m_ahead.end()) {
        raw = std::move(found->second);
        m_ahead.erase(found);
    } else {
        std::vector<std::string> commands;
        const size_t window = canPipeline() ? kRetrWindow : 1;
        if (m_inFlight.empty()) {
            commands.push_back("RETR " + std::to_string(number));
            m_inFlight.push_back(number);
        }
        // Topped up only when half used: one command packet (a TLS record, a system call) per
        // several mails instead of one per mail.
        const bool topUp = m_inFlight.size() <= window / 2;
        for (int next = m_inFlight.back() + 1; topUp && m_inFlight.size() < window && next <= m_count; ++next) {
            if (m_retrieved.count(next) || m_ahead.count(next))
                continue;
            commands.push_back("RETR " + std::to_string(next));
            m_inFlight.push_back(next);
        }
        if (!commands.empty())
            send(commands);
        raw = readRetr();
    }
    m_retrieved.insert(number);
    return raw;
}

qsizetype Pop3Reader::sizeReadAhead(int number) const
{
    const auto found = m_ahead.find(number);
    return found == m_ahead.end() ? -1 : found->second.size();
}

void Pop3Reader::drain()
{
    while (!m_inFlight.empty()) {
        const int number = m_inFlight.front();
        m_ahead[number] = readRetr();
    }
}

int Pop3Reader::deleteMails(const std::vector<int> &numbers, std::string &lastRefusal)
{
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
