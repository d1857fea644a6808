#include "HistoryFile.h"

#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr off_t RecordSize = HistoryRecord::Size;

QString g_lastError;

const QString &missingFolderText()
{
    static const QString text =
        QStringLiteral("データフォルダ（★MailData）が見つかりません。履歴に保存できませんでした。");
    return text;
}

const QString &cannotWriteText()
{
    static const QString text =
        QStringLiteral("履歴ファイルに書き込めません。ディスクの空き容量を確認して下さい。");
    return text;
}

const QString &fullText()
{
    static const QString text =
        QStringLiteral("履歴がいっぱいです（最大32767件）。不要なメールを削除して下さい。");
    return text;
}

const QString &noRecordText()
{
    static const QString text = QStringLiteral("指定されたメールは履歴にありません。");
    return text;
}

// Closes the descriptor when the operation returns, whichever way it does.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

QByteArray nativeName(const QString &path)
{
    return QFile::encodeName(path);
}

int openFile(const QString &path, int flags, mode_t mode = 0666)
{
    int fd;
    do
        fd = ::open(nativeName(path).constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

off_t fileLength(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

bool readAt(int fd, char *data, size_t length, off_t offset)
{
    while (length > 0) {
        const ssize_t n = ::pread(fd, data, length, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= size_t(n);
        offset += n;
    }
    return true;
}

bool writeAt(int fd, const char *data, size_t length, off_t offset)
{
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        length -= size_t(n);
        offset += n;
    }
    return true;
}

// Copies `length` bytes inside the kernel where it can, else through a buffer. Write-back of
// each finished piece starts at once, so the flush at the end has little left to wait for.
bool copyRange(int from, off_t fromOffset, int to, off_t toOffset, off_t length)
{
    constexpr off_t Piece = off_t(8) << 20;
    bool kernelCopy = true;
    while (length > 0) {
        const off_t piece = std::min(length, Piece);
        off_t done = 0;
        while (done < piece) {
            const size_t want = size_t(piece - done);
            if (kernelCopy) {
                loff_t in = fromOffset + done, out = toOffset + done;
                const ssize_t n = ::copy_file_range(from, &in, to, &out, want, 0);
                if (n > 0) {
                    done += n;
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n == 0 || !(errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                    return false;
                kernelCopy = false;
            }
            static thread_local std::vector<char> buffer(1 << 20);
            const size_t chunk = std::min(want, buffer.size());
            if (!readAt(from, buffer.data(), chunk, fromOffset + done)
                || !writeAt(to, buffer.data(), chunk, toOffset + done))
                return false;
            done += off_t(chunk);
        }
        ::sync_file_range(to, toOffset, piece, SYNC_FILE_RANGE_WRITE);
        fromOffset += piece;
        toOffset += piece;
        length -= piece;
    }
    return true;
}

bool syncFolder(const QString &folder)
{
    Descriptor dir(openFile(folder, O_RDONLY | O_DIRECTORY));
    return dir.valid() && ::fsync(dir.get()) == 0;
}

QString folderOf(const QString &file)
{
    return QFileInfo(file).absolutePath();
}

// PPDATA2.TMP beside ppdata2.data, in whatever letter case it already has on disk.
QString temporaryFileOf(const QString &file)
{
    const QFileInfo info(file);
    return ProgramFolder::resolveUnder(info.absolutePath(),
                                       info.completeBaseName().toUpper() + QStringLiteral(".TMP"));
}

qint16 liveFlag(const char *bytes)
{
    return qint16(quint16(uchar(bytes[0])) | quint16(uchar(bytes[1])) << 8);
}

QString field(const QByteArray &bytes, int offset, int width)
{
    if (bytes.size() < offset + width)
        return QString();
    return Cp932::readField(bytes.constData() + offset, width);
}

} // namespace

HistoryRecord HistoryRecord::make(const QString &subject, const QString &date, const QString &address,
                                  const QString &body)
{
    HistoryRecord r;
    r.m_bytes.reserve(Size);
    r.m_bytes += Cp932::fixedField(subject, SubjectWidth);
    r.m_bytes += Cp932::fixedField(date, DateWidth);
    r.m_bytes += Cp932::fixedField(address, AddressWidth);
    r.m_bytes += Cp932::fixedField(body, BodyWidth);
    r.m_bytes += QByteArray("\r\n\x01\x00", 4);
    r.m_live = 1;
    return r;
}

HistoryRecord HistoryRecord::fromBytes(QByteArray bytes)
{
    HistoryRecord r;
    r.m_bytes = std::move(bytes);
    if (r.m_bytes.size() >= Size)
        r.m_live = liveFlag(r.m_bytes.constData() + LiveOffset);
    return r;
}

HistoryRecord HistoryRecord::fromHeading(QByteArray heading, qint16 live)
{
    HistoryRecord r;
    r.m_bytes = std::move(heading);
    r.m_live = live;
    return r;
}

QString HistoryRecord::Subject() const { return field(m_bytes, SubjectOffset, SubjectWidth); }
QString HistoryRecord::Date() const { return field(m_bytes, DateOffset, DateWidth); }
QString HistoryRecord::Address() const { return field(m_bytes, AddressOffset, AddressWidth); }
QString HistoryRecord::Body() const { return field(m_bytes, BodyOffset, BodyWidth); }
qint16 HistoryRecord::Live() const { return m_live; }

namespace History {

int AppendRecord(const QString &file, const HistoryRecord &record, Flush flush)
{
    g_lastError.clear();
    const QByteArray &bytes = record.bytes();
    if (bytes.size() != HistoryRecord::Size) {
        g_lastError = cannotWriteText();
        return 0;
    }
    if (!QDir(folderOf(file)).exists()) {
        g_lastError = missingFolderText();
        return 0;
    }

    bool created = true;
    Descriptor fd(openFile(file, O_RDWR | O_CREAT | O_EXCL));
    if (!fd.valid() && errno == EEXIST) {
        created = false;
        fd.reset(openFile(file, O_RDWR));
    }
    if (!fd.valid()) {
        g_lastError = errno == ENOENT ? missingFolderText() : cannotWriteText();
        return 0;
    }
    const off_t length = fileLength(fd.get());
    if (length < 0) {
        g_lastError = cannotWriteText();
        return 0;
    }
    const off_t whole = length / RecordSize;
    if (whole >= MaxRecords) {
        g_lastError = fullText();
        return 0;
    }

    const off_t end = whole * RecordSize;
    bool ok = (length == end || ::ftruncate(fd.get(), end) == 0)
              && writeAt(fd.get(), bytes.constData(), size_t(bytes.size()), end)
              && (flush == Flush::Later || ::fdatasync(fd.get()) == 0);
    if (!ok) {
        // Nothing of a record that did not fit may stay behind.
        if (::ftruncate(fd.get(), end) == 0)
            ::fdatasync(fd.get());
    }
    ok = fd.close() && ok;
    if (!ok) {
        if (created)
            ::unlink(nativeName(file).constData());
        g_lastError = cannotWriteText();
        return 0;
    }
    return int(whole) + 1;
}

bool FlushHistory(const QString &file)
{
    g_lastError.clear();
    Descriptor fd(openFile(file, O_RDONLY));
    // The folder too, for a file the appends have just created.
    const bool ok = fd.valid() && ::fdatasync(fd.get()) == 0 && fd.close() && syncFolder(folderOf(file));
    if (!ok)
        g_lastError = cannotWriteText();
    return ok;
}

std::optional<HistoryRecord> ReadRecord(const QString &file, int n, Fields fields)
{
    if (n < 1 || n > MaxRecords)
        return std::nullopt;
    Descriptor fd(openFile(file, O_RDONLY));
    if (!fd.valid())
        return std::nullopt;
    // A short read is the end: the file holds no complete record n.
    const off_t start = off_t(n - 1) * RecordSize;
    if (fields == Fields::Heading) {
        QByteArray heading(HistoryRecord::HeadingSize, Qt::Uninitialized);
        char live[2];
        if (!readAt(fd.get(), live, 2, start + HistoryRecord::LiveOffset)
            || !readAt(fd.get(), heading.data(), size_t(heading.size()), start))
            return std::nullopt;
        return HistoryRecord::fromHeading(std::move(heading), liveFlag(live));
    }
    QByteArray bytes(HistoryRecord::Size, Qt::Uninitialized);
    if (!readAt(fd.get(), bytes.data(), size_t(bytes.size()), start))
        return std::nullopt;
    return HistoryRecord::fromBytes(std::move(bytes));
}

int RecordCount(const QString &file)
{
    struct stat st;
    if (::stat(nativeName(file).constData(), &st) != 0)
        return 0;
    return int(std::min<off_t>(st.st_size / RecordSize, MaxRecords));
}

bool MarkDeleted(const QString &file, int n)
{
    g_lastError.clear();
    Descriptor fd(openFile(file, O_RDWR));
    const off_t start = off_t(n - 1) * RecordSize;
    if (n < 1 || n > MaxRecords || !fd.valid() || fileLength(fd.get()) < start + RecordSize) {
        g_lastError = fd.valid() || errno == ENOENT ? noRecordText() : cannotWriteText();
        return false;
    }
    const char zero[2] = {0, 0};
    const bool ok = writeAt(fd.get(), zero, 2, start + HistoryRecord::LiveOffset)
                    && ::fdatasync(fd.get()) == 0 && fd.close();
    if (!ok)
        g_lastError = cannotWriteText();
    return ok;
}

bool CompactHistory(const QString &file)
{
    g_lastError.clear();
    const QString temporary = temporaryFileOf(file);
    const QByteArray temporaryName = nativeName(temporary);

    Descriptor source(openFile(file, O_RDONLY));
    if (!source.valid()) {
        if (errno == ENOENT)
            return true; // no history, nothing to remove
        g_lastError = cannotWriteText();
        return false;
    }
    struct stat st;
    if (::fstat(source.get(), &st) != 0) {
        g_lastError = cannotWriteText();
        return false;
    }
    const off_t whole = st.st_size / RecordSize;

    // Runs of consecutive live records, as (first record, count), records counted from 0.
    std::vector<std::pair<off_t, off_t>> runs;
    off_t survivors = 0;
    for (off_t j = 0; j < whole; ++j) {
        char live[2];
        if (!readAt(source.get(), live, 2, j * RecordSize + HistoryRecord::LiveOffset)) {
            g_lastError = cannotWriteText();
            return false;
        }
        if (liveFlag(live) == 0)
            continue;
        if (!runs.empty() && runs.back().first + runs.back().second == j)
            ++runs.back().second;
        else
            runs.emplace_back(j, 1);
        ++survivors;
    }
    if (survivors == whole && st.st_size == whole * RecordSize) {
        ::unlink(temporaryName.constData()); // a leftover of an interrupted run
        return true;
    }

    // The survivors go to the temporary file first; the history is replaced only by the rename
    // at the end, so a crash or a full disk before it leaves the old history whole.
    Descriptor target(openFile(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0600));
    bool ok = target.valid() && ::fchmod(target.get(), st.st_mode & 07777) == 0;
    off_t written = 0;
    for (const auto &[first, count] : runs) {
        if (!ok)
            break;
        ok = copyRange(source.get(), first * RecordSize, target.get(), written * RecordSize,
                       count * RecordSize);
        written += count;
    }
    ok = ok && ::fsync(target.get()) == 0;
    ok = target.close() && ok;
    source.close();
    ok = ok && ::rename(temporaryName.constData(), nativeName(file).constData()) == 0;
    if (!ok) {
        ::unlink(temporaryName.constData());
        g_lastError = cannotWriteText();
        return false;
    }
    syncFolder(folderOf(file));
    return true;
}

bool DeleteAllRecords(const QString &file)
{
    g_lastError.clear();
    if (!QDir(folderOf(file)).exists()) {
        g_lastError = missingFolderText();
        return false;
    }
    // Emptying the file is one step: the history is either all there or all gone.
    Descriptor fd(openFile(file, O_WRONLY | O_CREAT));
    const bool ok = fd.valid() && ::ftruncate(fd.get(), 0) == 0 && ::fsync(fd.get()) == 0 && fd.close();
    if (!ok) {
        g_lastError = cannotWriteText();
        return false;
    }
    ::unlink(nativeName(temporaryFileOf(file)).constData());
    return true;
}

QString lastError()
{
    return g_lastError;
}

} // namespace History
