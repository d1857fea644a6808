#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// File writes that say why they failed, in words for the user: the system's own text for a full
// disk is no help to a Japanese user, and some failures reach Qt without one ("Unknown error").
//
// The files of the data and attachment folders hold the user's mail and password: they are made
// readable by the user alone (0600, folders 0700) whatever the umask, without touching the umask,
// which every thread shares. A file system without modes (FAT) ignores that, silently.
namespace FileError {

// What went wrong, by errno: a full disk, a read-only place, no permission, a missing folder.
QString text(int error);

// Writes all of `bytes` at the descriptor's position. 0, or the errno of the failure (a write
// that takes nothing counts as a full disk).
int writeAll(int fd, const char *bytes, qint64 size);

// open(2) with close-on-exec, retried when a signal interrupts it; a file it creates is 0600.
// The descriptor, or -1 with errno set.
int openFile(const QString &path, int flags);

// Forces the names in `folder` (files created, renamed or removed there) to the disk. 0, or the
// errno; a file system that cannot sync a folder by itself counts as done.
int syncFolder(const QString &folder);

// Forces each of `files`, then each of their folders, to the disk. 0, or the first errno.
int syncFiles(const QStringList &files);

// Makes `folder` (in an existing parent) for the user alone and forces its name into the parent.
// An existing folder is left as it is. 0, or the errno.
int makeFolder(const QString &folder);

// Replaces `target` with `bytes` through a temporary file beside it (written, forced to the disk,
// renamed over the target, folder forced too), so the target is always whole, old or new. The
// new file is the user's alone: 0600, or the owner's bits of the file it replaces. A target that
// is a symbolic link is replaced where it points. 0, or the errno of the failure (the temporary
// file is then gone; when only the folder could not be forced, the new file may already show).
int replaceFile(const QString &target, const QByteArray &bytes);

} // namespace FileError
