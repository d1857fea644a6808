// The POP3 dialogue after the login, with a server that says whatever the input says: no crash,
// no mail longer than the reader takes, none shorter than announced handed out as whole.
#include "FuzzInput.h"
#include "Pop3Reader.h"

#include <stdexcept>

namespace {

class FuzzWire final : public Pop3Reader::Wire
{
public:
    FuzzWire(const QByteArray &replies, int chunk) : m_replies(replies), m_chunk(chunk) {}
    void send(const std::string &) override {}
    size_t receive(char *buffer, size_t capacity, int) override
    {
        if (m_pos >= m_replies.size())
            throw std::runtime_error("the server has nothing more to say");
        const size_t n = std::min({capacity, size_t(m_chunk), size_t(m_replies.size() - m_pos)});
        memcpy(buffer, m_replies.constData() + m_pos, n);
        m_pos += qsizetype(n);
        return n;
    }

private:
    QByteArray m_replies;
    int m_chunk;
    qsizetype m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int chunk = 1 + in.number(64) * in.number(64);
    FuzzWire wire(in.rest(), chunk);
    Pop3Reader reader(wire, 1000);
    try {
        const int count = reader.start();
        FUZZ_CHECK(count >= 0);
        for (int n = 1; n <= std::min(count, 8); ++n) {
            try {
                const QByteArray mail = reader.retrieve(n);
                FUZZ_CHECK(mail.size() <= Pop3Reader::MaxMail);
                if (reader.announcedSize(n) >= 0)
                    FUZZ_CHECK(mail.size() >= reader.announcedSize(n));
                FUZZ_CHECK(reader.retrieved(n));
            } catch (const Pop3Reader::Refused &) {
            } catch (const Pop3Reader::MailUnusable &) {
            }
        }
        std::string refusal;
        reader.deleteMails({1, 2}, refusal);
        reader.quit();
    } catch (const std::exception &) {
    }
    return 0;
}
