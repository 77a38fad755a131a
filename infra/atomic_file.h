// Whole-file reads and crash-safe whole-file replacement.
#pragma once

#include <string>
#include <string_view>

// Where a replacement stopped; Done means the file now holds the new contents.
enum class ReplaceStep { Done, CreateTemporary, WriteTemporary, MoveIntoPlace };

struct ReplaceResult {
    ReplaceStep failedAt = ReplaceStep::Done;
    int error = 0;              // errno of the failure, or an error number of infra/regular_file.h
    std::string temporaryPath;  // the temporary file used (removed again on failure)
    bool Ok() const { return failedAt == ReplaceStep::Done; }
};

// Writes contents to a temporary file in the folder of path, flushes and fsyncs it, then
// renames it over path, so a crash leaves either the old file or the new one, never a mix.
// The temporary file is temporaryPath when given, else a fresh unique name. On any failure
// the temporary file is removed and path is left as it was. Without temporaryPath a symbolic
// link is followed and its target replaced. Only a regular file is ever replaced: anything
// else in its place (a device, a FIFO, a folder) fails at CreateTemporary.
//
// The temporary file has the permission bits of the file it replaces from its creation on,
// before a byte is written, and (when the process may give it away, as root may) the file's
// owner and group; a new file gets newFileMode less the umask. So a secret in a file only its
// owner may read is never readable by anyone else, not even for a moment.
ReplaceResult ReplaceFileContents(const std::string& path, std::string_view contents,
                                  const std::string& temporaryPath = {},
                                  unsigned newFileMode = 0600);

// Reads a whole regular file of at most kMaxWholeFileBytes into contents. False (with errno,
// or an error number of infra/regular_file.h, in error) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* contents, int* error = nullptr);

// Tests only: called with the temporary file's path once it has its mode and owner, before a
// byte is written. nullptr removes the hook.
using TemporaryFileHook = void (*)(const std::string& temporaryPath);
void SetTemporaryFileHook(TemporaryFileHook hook);
