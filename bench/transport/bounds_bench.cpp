// What hostile input costs: time and memory of the readers whose cost a mail or a server
// controls, each on an input large enough to show whether its cost grows faster than the input.
//
//   bench_bounds [case...]     cases: html, names, nested, endless-line (default: all)
#include "AttachmentFiles.h"
#include "MimeCodecs.h"
#include "MimeReader.h"
#include "Pop3Reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include <sys/resource.h>

namespace {

long peakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void report(const char *what, const QElapsedTimer &clock)
{
    std::printf("%-58s %9.3f s  peak %ld MB\n", what, clock.nsecsElapsed() / 1e9, peakKb() / 1024);
    std::fflush(stdout);
}

// A server that answers RETR with a line that never ends, 64 KB at a time.
class EndlessWire final : public Pop3Reader::Wire
{
public:
    void send(const std::string &bytes) override
    {
        if (bytes.rfind("CAPA", 0) == 0)
            m_pending = "+OK\r\n.\r\n";
        else if (bytes.rfind("STAT", 0) == 0)
            m_pending = "+OK 1 100\r\n";
        else if (bytes.rfind("LIST", 0) == 0 || bytes.rfind("UIDL", 0) == 0)
            m_pending = "-ERR no\r\n";
        else
            m_pending = "+OK\r\n";
    }
    size_t receive(char *buffer, size_t capacity, int) override
    {
        if (!m_pending.empty()) {
            const size_t n = std::min(capacity, m_pending.size());
            memcpy(buffer, m_pending.data(), n);
            m_pending.erase(0, n);
            return n;
        }
        const size_t n = std::min<size_t>(capacity, 65536);
        memset(buffer, 'x', n);
        return n;
    }

private:
    std::string m_pending;
};

} // namespace

int main(int argc, char **argv)
{
    const auto wanted = [&](const char *name) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (strcmp(argv[i], name) == 0)
                return true;
        return false;
    };
    QElapsedTimer clock;

    if (wanted("html")) {
        const QString scripts = QStringLiteral("<script>").repeated(131072); // 1 MB, never closed
        clock.start();
        const QString text = MimeCodecs::htmlToText(scripts);
        report("HTML to text, 1 MB of unclosed <script>", clock);
        (void)text;
    }
    if (wanted("names")) {
        QTemporaryDir dir;
        QByteArray mail = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nt\r\n";
        for (int i = 0; i < 10001; ++i)
            mail += "--b\r\nContent-Type: application/octet-stream; name=same.bin\r\n\r\nx\r\n";
        mail += "--b--\r\n";
        clock.start();
        QStringList written;
        const int result = MimeReader::saveAttachments(mail, dir.path(), &written);
        report(qPrintable(QStringLiteral("10,001 same-named parts (result %1, %2 files)").arg(result).arg(written.size())),
               clock);
    }
    if (wanted("nested")) {
        QByteArray deep = "Subject: deep\nContent-Type: multipart/mixed; boundary=x0\n\n";
        for (int i = 1; i < 5000; ++i)
            deep += "--x" + QByteArray::number(i - 1) + "\nContent-Type: multipart/mixed; boundary=x"
                    + QByteArray::number(i) + "\n\n";
        QTemporaryDir dir;
        clock.start();
        const MimeReader::Message message(deep);
        message.mail();
        const int result = message.saveAttachments(dir.path());
        report(qPrintable(QStringLiteral("5,000 nested multiparts (result %1)").arg(result)), clock);
    }
    if (wanted("endless-line")) {
        EndlessWire wire;
        Pop3Reader reader(wire, 60000);
        clock.start();
        const char *outcome = "read";
        try {
            reader.start();
            reader.retrieve(1);
        } catch (const std::exception &e) {
            outcome = e.what();
        }
        report(qPrintable(QStringLiteral("POP3 mail of one endless line (%1)").arg(QLatin1String(outcome))), clock);
    }
    return 0;
}
