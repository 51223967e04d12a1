#pragma once

#include <zip.h>

#include <memory>
#include <string>

#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace kestrel {

// How libzip reaches the archive file itself: through the FileSystem, like every other file the
// program touches, so that the rules of the file system (Windows paths, sharing, the disk
// reached before a file replaces another) hold for archives too and tests can run the archive
// code against a file system of their own.

// Reads an existing archive. Null with `error` set when the file cannot be opened.
zip_source_t* CreateArchiveReadSource(FileSystem& fileSystem, const std::string& path,
                                      Error& error);

// Writes a new archive into a temporary file beside `target` ("<target>.part-<6 letters or
// digits>") and puts it in place of the target only once the archive is complete and on the
// disk; a failed or abandoned write removes the temporary file and leaves the target as it was.
// libzip owns the source once an archive is opened on it; `failure` (owned by the caller, alive
// until the archive is closed or discarded) then tells which file operation failed, if any.
zip_source_t* CreateArchiveWriteSource(FileSystem& fileSystem, const std::string& target,
                                       Error& failure);

// The temporary files of a write to `target` follow this naming: true for "<target name>.part-"
// followed by six lower-case letters or digits.
bool IsPartialArchiveName(const std::string& name, const std::string& targetName);

}  // namespace kestrel
