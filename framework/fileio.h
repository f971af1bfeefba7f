#pragma once

#include <QByteArray>
#include <QString>

// The framework's only contact with the file system for reading and writing
// whole files. Internal to the framework.
namespace Orvel::FileIo {

// Files larger than this are refused unread: the largest real rules file is a
// few megabytes, and a reader must never be made to swallow memory.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// Reads a whole regular file. Anything else (missing, a folder, a FIFO, a
// device, a link loop, too large) answers false with `reason` set; it never
// blocks on a FIFO or device because the file is opened non-blocking and
// checked before it is read.
bool readRegularFile(const QString &path, QByteArray &bytes, QString &reason);

// Replaces `path` with `bytes` atomically: a temporary file in the same folder
// is written, flushed to disk and renamed over the old one. On any failure the
// old file is left whole and the answer is false with `reason` set.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString &reason);

// Renames `from` to `to` in the same folder, replacing whatever `to` was. On
// failure nothing changes and the answer is false with `reason` set.
bool moveFile(const QString &from, const QString &to, QString &reason);

bool makeFolder(const QString &path, QString &reason);

} // namespace Orvel::FileIo
