// A received mail: its texts, and its attachments unpacked into a folder. Every file written
// stays inside the folder, under a plain name, and nothing else appears there.
#include "FuzzInput.h"
#include "MimeReader.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir top;
    static const QString folder = top.filePath(QStringLiteral("attachments"));
    static const bool made = QDir().mkpath(folder);
    (void)made;

    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const MimeReader::Message message(raw);
    const MimeReader::Mail &mail = message.mail();
    FUZZ_CHECK(!mail.header.endsWith("\r\n"));
    FUZZ_CHECK(MimeReader::headerBlock(raw) == mail.header);

    QStringList written;
    const int result = message.saveAttachments(folder, &written);
    FUZZ_CHECK(result == MimeReader::NoAttachment || result == MimeReader::Stored
               || result == MimeReader::PartsMissing);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const QString &path : written) {
        const QFileInfo info(path);
        FUZZ_CHECK(info.isFile() && !info.isSymLink());
        FUZZ_CHECK(QFileInfo(info.absolutePath()).canonicalFilePath() == canonical);
        FUZZ_CHECK(info.fileName() != QLatin1String(".") && info.fileName() != QLatin1String(".."));
    }
    const QStringList present =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    FUZZ_CHECK(present.size() == written.size());
    for (const QString &path : written)
        QFile::remove(path);
    return 0;
}
