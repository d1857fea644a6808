#pragma once

#include <QByteArray>
#include <QString>

// File writes that say why they failed, in words for the user: the system's own text for a full
// disk is no help to a Japanese user, and some failures reach Qt without one ("Unknown error").
namespace FileError {

// What went wrong, by errno: a full disk, a read-only place, no permission, a missing folder.
QString text(int error);

// Writes all of `bytes` at the descriptor's position. 0, or the errno of the failure (a write
// that takes nothing counts as a full disk).
int writeAll(int fd, const char *bytes, qint64 size);

// Replaces `target` with `bytes` through a temporary file beside it (written, forced to the disk,
// renamed over the target, folder forced too), so the target is always whole, old or new, and
// keeps its permission bits. A target that is a symbolic link is replaced where it points. 0, or
// the errno of the failure (the temporary file is then gone).
int replaceFile(const QString &target, const QByteArray &bytes);

} // namespace FileError
