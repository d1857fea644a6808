// The POP3 reader over a scripted wire: what the real server cannot be made to do on demand
// (replies cut at any byte, bare LF line ends, no PIPELINING, a refused mail, lies and floods).
#include "Pop3Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

// A mailbox that answers CAPA, STAT, LIST, UIDL, RETR, DELE and QUIT, handing its replies out
// `chunk` bytes at a time.
class ScriptedWire final : public Pop3Reader::Wire
{
public:
    ScriptedWire(std::vector<std::string> mails, bool pipelining, size_t chunk)
        : m_mails(std::move(mails)), m_pipelining(pipelining), m_chunk(chunk)
    {
    }

    void send(const std::string &bytes) override
    {
        sends.push_back(bytes);
        size_t start = 0;
        for (size_t eol; (eol = bytes.find("\r\n", start)) != std::string::npos; start = eol + 2)
            answer(bytes.substr(start, eol - start));
    }

    size_t receive(char *buffer, size_t capacity, int waitMs) override
    {
        if (m_out.empty())
            throw std::runtime_error("the server has nothing more to say");
        if (delayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(delayMs, waitMs)));
            if (delayMs > waitMs)
                throw std::runtime_error("silent for longer than the reader waits");
        }
        const size_t n = std::min({capacity, m_chunk, m_out.size()});
        memcpy(buffer, m_out.data(), n);
        m_out.erase(0, n);
        return n;
    }

    std::vector<std::string> sends;
    std::vector<int> refuse;                 // RETR and DELE of these numbers get "-ERR"
    std::map<int, std::string> listedSize;   // LIST lines that differ from the truth
    std::map<int, std::string> ids;          // UIDL: by number, "id<n>" when not given
    std::string statReply;                   // instead of the true one
    int delayMs = 0;                         // before every chunk

private:
    void answer(const std::string &command)
    {
        if (command == "CAPA") {
            m_out += "+OK\r\nUIDL\r\n" + std::string(m_pipelining ? "PIPELINING\r\n" : "") + ".\r\n";
        } else if (command == "STAT") {
            m_out += statReply.empty() ? "+OK " + std::to_string(m_mails.size()) + " 0\r\n" : statReply;
        } else if (command == "LIST" || command == "UIDL") {
            m_out += "+OK\r\n";
            for (size_t n = 1; n <= m_mails.size(); ++n) {
                const int k = int(n);
                if (command == "LIST")
                    m_out += std::to_string(n) + " "
                             + (listedSize.count(k) ? listedSize[k] : std::to_string(m_mails[n - 1].size())) + "\r\n";
                else
                    m_out += std::to_string(n) + " " + (ids.count(k) ? ids[k] : "id" + std::to_string(n)) + "\r\n";
            }
            m_out += ".\r\n";
        } else if (command == "QUIT") {
            m_out += "+OK bye\r\n";
        } else {
            const int number = std::stoi(command.substr(5));
            if (std::count(refuse.begin(), refuse.end(), number))
                m_out += "-ERR no such message\r\n";
            else if (command.rfind("DELE ", 0) == 0)
                m_out += "+OK\r\n";
            else
                m_out += "+OK\r\n" + stuffed(m_mails.at(size_t(number - 1))) + ".\r\n";
        }
    }

    static std::string stuffed(const std::string &mail)
    {
        std::string out;
        bool lineStart = true;
        for (char c : mail) {
            if (lineStart && c == '.')
                out += '.';
            out += c;
            lineStart = c == '\n';
        }
        return out;
    }

    std::vector<std::string> m_mails;
    bool m_pipelining;
    size_t m_chunk;
    std::string m_out;
};

int retrCommands(const std::string &sent)
{
    int n = 0;
    for (size_t at = 0; (at = sent.find("RETR ", at)) != std::string::npos; ++at)
        ++n;
    return n;
}

TEST(Pop3ReaderTest, MailsComeBackWholeHoweverTheRepliesAreCut)
{
    const std::string big = "Subject: three\r\n\r\n" + std::string(70000, 'x') + "\r\n";
    const std::vector<std::string> mails = {"Subject: one\r\n\r\n.leading dot\r\n..\r\n.\rlast\r\n",
                                            "Subject: two\n\nbare line feeds\n", big};
    const QByteArray expected[] = {"Subject: one\r\n\r\n.leading dot\r\n..\r\n.\rlast\r\n",
                                   "Subject: two\r\n\r\nbare line feeds\r\n", QByteArray::fromStdString(big)};
    for (bool pipelining : {true, false}) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(65536)}) {
            ScriptedWire wire(mails, pipelining, chunk);
            Pop3Reader reader(wire, 3000);
            ASSERT_EQ(reader.start(), 3);
            EXPECT_EQ(reader.uniqueId(2), "id2");
            EXPECT_EQ(reader.announcedSize(3), qint64(big.size()));
            for (int n = 1; n <= 3; ++n)
                EXPECT_EQ(reader.retrieve(n), expected[n - 1]) << n << " chunk " << chunk;
            EXPECT_TRUE(reader.retrieved(3));
            // With PIPELINING every RETR goes out with the first; without, one at a time.
            int most = 0;
            for (const std::string &s : wire.sends)
                most = std::max(most, retrCommands(s));
            EXPECT_EQ(most, pipelining ? 3 : 1) << "chunk " << chunk;
        }
    }
}

TEST(Pop3ReaderTest, RefusedMailIsOnlyThatMailAndDeletionsCountRefusals)
{
    ScriptedWire wire({"a\r\n", "b\r\n", "c\r\n"}, true, 5);
    wire.refuse = {2};
    Pop3Reader reader(wire, 3000);
    ASSERT_EQ(reader.start(), 3);
    EXPECT_EQ(reader.retrieve(1), "a\r\n");
    EXPECT_THROW(reader.retrieve(2), Pop3Reader::Refused);
    EXPECT_FALSE(reader.retrieved(2));
    EXPECT_EQ(reader.retrieve(3), "c\r\n");

    std::string reply;
    EXPECT_EQ(reader.deleteMails({1, 2, 3}, reply), 1);
    EXPECT_EQ(reply, "-ERR no such message");
    EXPECT_EQ(wire.sends.back(), "DELE 1\r\nDELE 2\r\nDELE 3\r\n"); // one batch
    EXPECT_NO_THROW(reader.quit());
}

TEST(Pop3ReaderTest, LyingServerIsHeldToItsWord)
{
    // A mail shorter than LIST announced is that mail's failure; the next one still comes.
    {
        ScriptedWire wire({"short\r\n", "fine\r\n"}, true, 4);
        wire.listedSize[1] = "158";
        Pop3Reader reader(wire, 3000);
        ASSERT_EQ(reader.start(), 2);
        EXPECT_THROW(reader.retrieve(1), Pop3Reader::MailUnusable);
        EXPECT_EQ(reader.retrieve(2), "fine\r\n");
    }
    // A mail far longer than announced, a line that never ends, a listing of nonsense size,
    // a STAT that claims the impossible: the connection is given up, memory stays small.
    {
        ScriptedWire wire({std::string(300000, 'y') + "\r\n"}, true, 65536);
        wire.listedSize[1] = "100";
        Pop3Reader reader(wire, 3000);
        ASSERT_EQ(reader.start(), 1);
        EXPECT_THROW(reader.retrieve(1), Pop3Reader::Broken);
    }
    {
        ScriptedWire wire({"x\r\n"}, true, 65536);
        wire.statReply = "+OK 1 " + std::string(Pop3Reader::MaxLine * 4, '9');
        Pop3Reader reader(wire, 3000);
        EXPECT_THROW(reader.start(), Pop3Reader::Broken);
    }
    {
        ScriptedWire wire({"x\r\n"}, true, 65536);
        wire.statReply = "+OK 99999999999 0\r\n";
        Pop3Reader reader(wire, 3000);
        EXPECT_THROW(reader.start(), Pop3Reader::Broken);
    }
    // The same id for two mails names neither: one must never be taken for the other.
    {
        ScriptedWire wire({"a\r\n", "b\r\n", "c\r\n"}, false, 65536);
        wire.ids[1] = "same";
        wire.ids[3] = "same";
        wire.ids[2] = std::string(71, 'l'); // longer than an id may be
        Pop3Reader reader(wire, 3000);
        ASSERT_EQ(reader.start(), 3);
        for (int n = 1; n <= 3; ++n)
            EXPECT_TRUE(reader.uniqueId(n).isEmpty()) << n;
    }
}

TEST(Pop3ReaderTest, ServerThatDripsBytesRunsOutOfTime)
{
    // Each byte well within the time-out, the mail as a whole (10 s at this pace) not: without a
    // limit for the whole reply the mail would simply arrive.
    ScriptedWire wire({std::string(2000, 'z') + "\r\n"}, false, 1);
    Pop3Reader reader(wire, 200);
    ASSERT_EQ(reader.start(), 1);
    wire.delayMs = 5;
    EXPECT_ANY_THROW(reader.retrieve(1));
}

} // namespace
