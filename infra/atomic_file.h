// Whole-file reads and crash-safe whole-file replacement.
#pragma once

#include <string>
#include <string_view>

// Where a replacement stopped; Done means the file now holds the new contents.
enum class ReplaceStep { Done, CreateTemporary, WriteTemporary, MoveIntoPlace };

struct ReplaceResult {
    ReplaceStep failedAt = ReplaceStep::Done;
    int error = 0;              // errno of the failure
    std::string temporaryPath;  // the temporary file used (removed again on failure)
    bool Ok() const { return failedAt == ReplaceStep::Done; }
};

// Writes contents to a temporary file in the folder of path, flushes and fsyncs it, then
// renames it over path, so a crash leaves either the old file or the new one, never a mix.
// The temporary file is temporaryPath when given, else a fresh unique name. On any failure
// the temporary file is removed and path is left as it was. An existing file keeps its
// permission bits; without temporaryPath a symbolic link is followed and its target
// replaced.
ReplaceResult ReplaceFileContents(const std::string& path, std::string_view contents,
                                  const std::string& temporaryPath = {});

// Reads a whole file into contents. False (with errno in error) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* contents, int* error = nullptr);
