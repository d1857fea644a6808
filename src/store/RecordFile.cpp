#include "RecordFile.h"

#include "platform/FileError.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

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

// Files are created for the user alone (0600), whatever the umask.
using FileError::openFile;

off_t fileLength(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

// All of `length` bytes at `offset` through pread or pwrite, whatever pieces they take.
template <typename Data, typename Call>
bool wholeAt(Call call, int fd, Data *data, size_t length, off_t offset)
{
    while (length > 0) {
        const ssize_t n = call(fd, data, length, offset);
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

bool readAt(int fd, char *data, size_t length, off_t offset) { return wholeAt(::pread, fd, data, length, offset); }

bool writeAt(int fd, const char *data, size_t length, off_t offset)
{
    return wholeAt(::pwrite, fd, data, length, offset);
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
    return FileError::syncFolder(folder) == 0;
}

QString folderOf(const QString &file)
{
    return QFileInfo(file).absolutePath();
}

// The file a replacement must land on: the target of a symbolic link, so the link survives.
QString realFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? path : target;
}

} // namespace

RecordFile::RecordFile(const QString &path, const Layout &layout) : m_path(path), m_layout(layout) {}

bool RecordFile::fail(const QString &text)
{
    m_lastError = text;
    return false;
}

// The owner's words for a refused write; where the place may only be read, its hint about the
// free disk space would send the user the wrong way.
bool RecordFile::failWrite(int error)
{
    const QString &text = m_layout.texts.cannotWrite;
    if (error != EACCES && error != EPERM && error != EROFS)
        return fail(text);
    const qsizetype sentence = text.indexOf(QChar(0x3002)); // 。
    return fail((sentence >= 0 ? text.left(sentence + 1) : text)
                + QStringLiteral("書き込みが許可されていません。フォルダやファイルが読み取り専用になっていないか確認して下さい。"));
}

bool RecordFile::folderExists() const
{
    return QDir(folderOf(m_path)).exists();
}

QString RecordFile::temporaryFile() const
{
    const QFileInfo info(m_path);
    return ProgramFolder::resolveUnder(folderOf(realFile(m_path)),
                                       info.completeBaseName().toUpper() + QStringLiteral(".TMP"));
}

int RecordFile::count() const
{
    struct stat st;
    if (::stat(nativeName(m_path).constData(), &st) != 0)
        return 0;
    return int(std::min<off_t>(st.st_size / m_layout.size, MaxRecords));
}

std::optional<QByteArray> RecordFile::read(int n) const
{
    QByteArray bytes(m_layout.size, Qt::Uninitialized);
    if (!readPart(n, 0, m_layout.size, bytes.data()))
        return std::nullopt;
    return bytes;
}

bool RecordFile::readPart(int n, int offset, int length, char *data, qint16 *live) const
{
    const int size = m_layout.size;
    if (n < 1 || n > MaxRecords || offset < 0 || length < 0 || offset + length > size)
        return false;
    Descriptor fd(openFile(m_path, O_RDONLY));
    if (!fd.valid())
        return false;
    // A short read is the end: the file holds no complete record n. A part that does not reach
    // the record's last byte cannot tell that by itself.
    const off_t start = off_t(n - 1) * size;
    int reached = offset + length;
    if (live) {
        char flag[2];
        if (!readAt(fd.get(), flag, 2, start + m_layout.liveOffset))
            return false;
        *live = liveFlag(flag);
        reached = std::max(reached, m_layout.liveOffset + 2);
    }
    if (reached < size && fileLength(fd.get()) < start + size)
        return false;
    return readAt(fd.get(), data, size_t(length), start + offset);
}

QByteArray RecordFile::readAll() const
{
    Descriptor fd(openFile(m_path, O_RDONLY));
    if (!fd.valid())
        return QByteArray();
    const off_t whole = std::min<off_t>(fileLength(fd.get()) / m_layout.size, MaxRecords);
    if (whole <= 0)
        return QByteArray();
    QByteArray bytes(qsizetype(whole * m_layout.size), Qt::Uninitialized);
    if (!readAt(fd.get(), bytes.data(), size_t(bytes.size()), 0))
        return QByteArray();
    return bytes;
}

int RecordFile::append(const QByteArray &record, Flush flush)
{
    m_lastError.clear();
    const off_t size = m_layout.size;
    if (record.size() != size) {
        fail(m_layout.texts.cannotWrite);
        return 0;
    }
    if (!folderExists()) {
        fail(m_layout.texts.missingFolder);
        return 0;
    }

    bool created = true;
    Descriptor fd(openFile(m_path, O_RDWR | O_CREAT | O_EXCL));
    if (!fd.valid() && errno == EEXIST) {
        created = false;
        fd.reset(openFile(m_path, O_RDWR));
    }
    if (!fd.valid()) {
        if (errno == ENOENT)
            fail(m_layout.texts.missingFolder);
        else
            failWrite(errno);
        return 0;
    }
    const off_t length = fileLength(fd.get());
    if (length < 0) {
        fail(m_layout.texts.cannotWrite);
        return 0;
    }
    const off_t whole = length / size;
    if (whole >= MaxRecords) {
        fail(m_layout.texts.full);
        return 0;
    }

    const off_t end = whole * size;
    // A file made just now is durable only once its name is: flush() does that for later.
    const auto durable = [&] { return ::fdatasync(fd.get()) == 0 && (!created || syncFolder(folderOf(m_path))); };
    bool ok = (length == end || ::ftruncate(fd.get(), end) == 0)
              && writeAt(fd.get(), record.constData(), size_t(size), end) && (flush == Flush::Later || durable());
    if (!ok) {
        // Nothing of a record that did not fit may stay behind.
        if (::ftruncate(fd.get(), end) == 0)
            ::fdatasync(fd.get());
    }
    ok = fd.close() && ok;
    if (!ok) {
        if (created)
            ::unlink(nativeName(m_path).constData());
        fail(m_layout.texts.cannotWrite);
        return 0;
    }
    return int(whole) + 1;
}

bool RecordFile::flush()
{
    m_lastError.clear();
    Descriptor fd(openFile(m_path, O_RDONLY));
    // The folder too, for a file the appends have just created.
    const bool ok = fd.valid() && ::fdatasync(fd.get()) == 0 && fd.close() && syncFolder(folderOf(m_path));
    return ok || fail(m_layout.texts.cannotWrite);
}

bool RecordFile::write(int n, const QByteArray &record)
{
    m_lastError.clear();
    const off_t size = m_layout.size;
    if (record.size() != size)
        return fail(m_layout.texts.cannotWrite);
    struct stat st;
    const off_t whole = ::stat(nativeName(m_path).constData(), &st) == 0 ? st.st_size / size : 0;
    if (n == whole + 1)
        return append(record) == n;
    if (n < 1 || n > whole)
        return fail(n > MaxRecords ? m_layout.texts.full : m_layout.texts.noRecord);

    Descriptor fd(openFile(m_path, O_RDWR));
    const off_t start = off_t(n - 1) * size;
    if (!fd.valid() || fileLength(fd.get()) < start + size)
        return fd.valid() || errno == ENOENT ? fail(m_layout.texts.noRecord) : failWrite(errno);
    const bool ok = writeAt(fd.get(), record.constData(), size_t(size), start) && ::fdatasync(fd.get()) == 0
                    && fd.close();
    return ok || fail(m_layout.texts.cannotWrite);
}

bool RecordFile::mark(int n)
{
    m_lastError.clear();
    Descriptor fd(openFile(m_path, O_RDWR));
    const off_t start = off_t(n - 1) * m_layout.size;
    if (n < 1 || n > MaxRecords || !fd.valid() || fileLength(fd.get()) < start + m_layout.size)
        return fd.valid() || errno == ENOENT ? fail(m_layout.texts.noRecord) : failWrite(errno);
    const char zero[2] = {0, 0};
    const bool ok = writeAt(fd.get(), zero, 2, start + m_layout.liveOffset) && ::fdatasync(fd.get()) == 0
                    && fd.close();
    return ok || fail(m_layout.texts.cannotWrite);
}

bool RecordFile::compact()
{
    m_lastError.clear();
    const off_t size = m_layout.size;
    const QString data = realFile(m_path);
    const QString temporary = temporaryFile();
    const QByteArray temporaryName = nativeName(temporary);

    Descriptor source(openFile(data, O_RDONLY));
    if (!source.valid()) {
        if (errno == ENOENT)
            return true; // no file, nothing to remove
        return fail(m_layout.texts.cannotWrite);
    }
    struct stat st;
    if (::fstat(source.get(), &st) != 0)
        return fail(m_layout.texts.cannotWrite);
    const off_t whole = st.st_size / size;

    // Runs of consecutive live records, as (first record, count), records counted from 0.
    std::vector<std::pair<off_t, off_t>> runs;
    off_t survivors = 0;
    for (off_t j = 0; j < whole; ++j) {
        char live[2];
        if (!readAt(source.get(), live, 2, j * size + m_layout.liveOffset))
            return fail(m_layout.texts.cannotWrite);
        if (liveFlag(live) == 0)
            continue;
        if (!runs.empty() && runs.back().first + runs.back().second == j)
            ++runs.back().second;
        else
            runs.emplace_back(j, 1);
        ++survivors;
    }
    if (survivors == whole && st.st_size == whole * size) {
        ::unlink(temporaryName.constData()); // a leftover of an interrupted run
        return true;
    }

    // The survivors go to the temporary file first; the data file is replaced only by the
    // rename at the end, so a crash or a full disk before it leaves the old file whole.
    Descriptor target(openFile(temporary, O_WRONLY | O_CREAT | O_TRUNC));
    if (!target.valid())
        return failWrite(errno);
    // The owner's rights of the old file, nobody else's; a file system without modes refuses.
    if ((st.st_mode & 0700) != 0)
        ::fchmod(target.get(), st.st_mode & 0700);
    bool ok = true;
    off_t written = 0;
    for (const auto &[first, count] : runs) {
        if (!ok)
            break;
        ok = copyRange(source.get(), first * size, target.get(), written * size, count * size);
        written += count;
    }
    ok = ok && ::fsync(target.get()) == 0;
    ok = target.close() && ok;
    source.close();
    ok = ok && ::rename(temporaryName.constData(), nativeName(data).constData()) == 0;
    if (!ok) {
        ::unlink(temporaryName.constData());
        return fail(m_layout.texts.cannotWrite);
    }
    // Until the folder is on the disk the old file may come back after a power cut.
    return syncFolder(folderOf(data)) || fail(m_layout.texts.cannotWrite);
}

bool RecordFile::create()
{
    m_lastError.clear();
    if (!folderExists())
        return fail(m_layout.texts.missingFolder);
    // An existing file is left alone, even one that may only be read.
    Descriptor fd(openFile(m_path, O_WRONLY | O_CREAT | O_EXCL));
    if (!fd.valid() && errno == EEXIST)
        return true;
    return (fd.valid() && fd.close()) || failWrite(errno);
}

bool RecordFile::clear()
{
    m_lastError.clear();
    if (!folderExists())
        return fail(m_layout.texts.missingFolder);
    // Emptying the file is one step: the records are either all there or all gone.
    Descriptor fd(openFile(m_path, O_WRONLY | O_CREAT));
    const bool ok = fd.valid() && ::ftruncate(fd.get(), 0) == 0 && ::fsync(fd.get()) == 0 && fd.close();
    if (!ok)
        return failWrite(errno);
    ::unlink(nativeName(temporaryFile()).constData());
    return true;
}
