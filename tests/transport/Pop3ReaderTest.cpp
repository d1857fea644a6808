// The POP3 reader over a scripted wire: what the real server cannot be made to do on demand
// (replies cut at any byte, bare LF line ends, no PIPELINING, a refused mail).
#include "Pop3Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// A mailbox that answers CAPA, RETR and DELE, handing its replies out `chunk` bytes at a time.
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

    size_t receive(char *buffer, size_t capacity) override
    {
        if (m_out.empty())
            throw std::runtime_error("the server has nothing more to say");
        const size_t n = std::min({capacity, m_chunk, m_out.size()});
        memcpy(buffer, m_out.data(), n);
        m_out.erase(0, n);
        return n;
    }

    std::vector<std::string> sends;
    std::vector<int> refuse; // RETR and DELE of these numbers get "-ERR"

private:
    void answer(const std::string &command)
    {
        if (command == "CAPA") {
            m_out += "+OK\r\nUIDL\r\n" + std::string(m_pipelining ? "PIPELINING\r\n" : "") + ".\r\n";
            return;
        }
        const int number = std::stoi(command.substr(5));
        if (std::count(refuse.begin(), refuse.end(), number)) {
            m_out += "-ERR no such message\r\n";
            return;
        }
        if (command.rfind("DELE ", 0) == 0) {
            m_out += "+OK\r\n";
            return;
        }
        const std::string &mail = m_mails.at(size_t(number - 1));
        m_out += "+OK " + std::to_string(mail.size()) + " octets\r\n" + mail + ".\r\n";
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
    // As the server sends them (dot-stuffed, one with bare line feeds), and as the mails are.
    const std::string big = "Subject: three\r\n\r\n" + std::string(70000, 'x') + "\r\n";
    const std::vector<std::string> sent = {"Subject: one\r\n\r\n..leading dot\r\n...\r\nlast\r\n",
                                           "Subject: two\n\nbare line feeds\n", big};
    const QByteArray expected[] = {"Subject: one\r\n\r\n.leading dot\r\n..\r\nlast\r\n",
                                   "Subject: two\r\n\r\nbare line feeds\r\n", QByteArray::fromStdString(big)};
    for (bool pipelining : {true, false}) {
        for (size_t chunk : {size_t(1), size_t(3), size_t(65536)}) {
            ScriptedWire wire(sent, pipelining, chunk);
            Pop3Reader reader(wire, 3);
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
    Pop3Reader reader(wire, 3);
    EXPECT_EQ(reader.retrieve(1), "a\r\n");
    EXPECT_THROW(reader.retrieve(2), Pop3Reader::Refused);
    EXPECT_FALSE(reader.retrieved(2));
    EXPECT_EQ(reader.sizeReadAhead(3), -1); // still on its way
    reader.drain();
    EXPECT_EQ(reader.sizeReadAhead(3), 3);
    EXPECT_EQ(reader.retrieve(3), "c\r\n");

    std::string reply;
    EXPECT_EQ(reader.deleteMails({1, 2, 3}, reply), 1);
    EXPECT_EQ(reply, "-ERR no such message");
    EXPECT_EQ(wire.sends.back(), "DELE 1\r\nDELE 2\r\nDELE 3\r\n"); // one batch
}

} // namespace
