#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// The files that attachments from the network become: names made safe, never an existing file
// replaced.
namespace AttachmentFiles {

// A name from the network reduced to a plain base name: no folder parts, no control or
// reserved characters, not empty, not "." or "..", at most 200 UTF-8 bytes.
QString safeFileName(const QString &name);

// The name for the `index`th attachment that came without one, by its media type.
QString defaultName(const QByteArray &type, int index);

// The files one mail writes into the attachment folder. A name already taken becomes
// "stem (2).ext", "stem (3).ext", ...: the first free number, without limit. The names in use
// are read from the folder once, at the first clash, so a mail of many same-named parts (or a
// name taken thousands of times) costs time in proportion to its parts.
class Unpacking
{
public:
    explicit Unpacking(const QString &folder);

    // Writes `content` as a new file under safeFileName(`name`). Returns the path; empty when
    // the folder cannot be written (nothing of that file is left behind, `error()` says why).
    QString store(const QString &name, const QByteArray &content);
    // Removes every file this unpacking wrote (for a mail that stays on the server).
    void discard();

    const QStringList &written() const { return m_written; }
    int error() const { return m_errno; } // errno of the last failure

private:
    bool isTaken(const QByteArray &name);

    QString m_folder;
    QStringList m_written;
    bool m_listed = false;
    QSet<QByteArray> m_taken;        // names as the file system has them
    QHash<QString, qint64> m_next;   // per name: the number to try next
    int m_errno = 0;
};

// The names of a folder that files are moved into, read from the folder once: choosing a free
// name for the thousandth file of a full folder costs no more than for the first. A file that
// appears in the folder meanwhile is never replaced: the move itself refuses a taken name.
class FolderNames
{
public:
    explicit FolderNames(const QString &folder);

    const QString &folder() const { return m_folder; }
    bool isTaken(const QString &name);
    // Keeps `name` from being chosen (a file that will be moved in under it later).
    void reserve(const QString &name);

    // The first name that is not taken of candidate(1), candidate(2), ...; numbering for the
    // same `key` goes on where it stopped.
    QString freeName(const QString &key, const std::function<QString(qint64)> &candidate);

    // Moves `from` (on the same file system) into the folder as `name`, or as "stem (2).ext",
    // "stem (3).ext", ...: the first free. The new path; empty on failure (`error()`).
    QString moveIn(const QString &from, const QString &name);
    // Moves `from` into the folder as exactly `name`; false when that is taken (EEXIST) or the
    // move fails (`error()`).
    bool moveInAs(const QString &from, const QString &name);

    int error() const { return m_errno; }

private:
    void list();

    QString m_folder;
    bool m_listed = false;
    QSet<QByteArray> m_taken;
    QHash<QString, qint64> m_next;
    int m_errno = 0;
};

// Renames `from` to `to` unless `to` exists: 0, or the errno (EEXIST when it does).
int renameNoReplace(const QString &from, const QString &to);

// "stem (n).ext" for `name`; the name itself for n = 1.
QString numberedName(const QString &name, qint64 n);

// One file with a fresh Unpacking (see there).
QString store(const QString &folder, const QString &name, const QByteArray &content);

} // namespace AttachmentFiles
