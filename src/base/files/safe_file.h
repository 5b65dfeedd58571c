#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "platform/system/files.h"

namespace quarvel {

// path as the system floor takes it.
system::Path SystemPath(const QString& path);

// Replaces the file at path with bytes. They go to a new temporary file in
// the same folder, which is flushed to disk and then renamed over path: a
// symbolic link at path is replaced itself, never written through, and a
// reader never sees a partial file. On any failure path is left as it was, no
// temporary file stays behind and the result is false. An existing file keeps
// its permissions; a new one in a folder private to the user (no access for
// group or others, as the data folder) is private too (0600) whatever the
// umask, elsewhere it gets the usual 0666 less the umask.
bool ReplaceFile(const QString& path, const QByteArray& bytes);

// The content of the regular file at path; nullopt when it cannot be read or
// path is a symbolic link or no regular file.
std::optional<QByteArray> ReadRegularFile(const QString& path);

// Makes folder usable for the program's own files: created private to the
// user (0700) when missing, its permissions narrowed to 0700 when wider.
// False, with the reason, when it is a symbolic link, no folder, or owned by
// someone else: the program then writes nothing there.
bool EnsurePrivateFolder(const QString& folder, QString* reason = nullptr);

enum class FolderCheck { Usable, Missing, Unusable };

// For a program that only reads: whether folder could be used as
// EnsurePrivateFolder would use it, without creating or changing anything.
// Unusable, with the reason, when it is a symbolic link, no folder, or
// someone else's.
FolderCheck CheckPrivateFolder(const QString& folder, QString* reason = nullptr);

}  // namespace quarvel
