#include "ReplyThread.h"

#include "store/HistoryFile.h"
#include "store/Originals.h"

#include <QFile>

namespace {

// The header block of a mail file, whichever line ends it was written with, without reading a
// large mail whole.
QByteArray headerOf(QFile &file)
{
    constexpr qint64 kChunk = 64 * 1024, kMost = 1024 * 1024;
    QByteArray header;
    while (header.size() < kMost) {
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty())
            break;
        const qsizetype from = qMax<qsizetype>(0, header.size() - 2);
        header += chunk;
        const qsizetype lf = header.indexOf("\n\n", from);
        const qsizetype crlf = header.indexOf("\n\r\n", from);
        const qsizetype end = lf < 0 ? crlf : (crlf < 0 ? lf : qMin(lf, crlf));
        if (end >= 0)
            return header.left(end + 1);
    }
    return header;
}

} // namespace

namespace ReplyThread {

MimeWriter::Thread of(int history, int n, const HistoryRecord &record)
{
    Originals originals(history == 2 ? Originals::Kind::Sent : Originals::Kind::Received);
    QFile file(originals.pathOf(n, record.bytes().left(HistoryRecord::HeadingSize)));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return MimeWriter::replyThread(headerOf(file));
}

} // namespace ReplyThread
