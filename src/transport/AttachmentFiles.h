#pragma once

#include <QByteArray>
#include <QString>

// The files that attachments from the network become: names made safe, never an existing file
// replaced.
namespace AttachmentFiles {

// A name from the network reduced to a plain base name: no folder parts, no control or
// reserved characters, not empty, not "." or "..", at most 200 UTF-8 bytes.
QString safeFileName(const QString &name);

// The name for the `index`th attachment that came without one, by its media type.
QString defaultName(const QByteArray &type, int index);

// Writes `content` as a new file in `folder` under safeFileName(`name`), or "stem (2).ext",
// "stem (3).ext", ... when that is taken. Returns the path written; empty when the folder
// cannot be written (nothing is left behind then).
QString store(const QString &folder, const QString &name, const QByteArray &content);

} // namespace AttachmentFiles
