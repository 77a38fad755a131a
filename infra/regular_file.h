// Reading files that must be regular files. A FIFO, a device, a socket or a folder is refused
// at once, rather than waited on (a FIFO's opening waits for a writer) or read without end
// (/dev/zero); whole-file reads have a size limit that no real file of theirs reaches.
#pragma once

#include <cstddef>
#include <string>

// Error numbers beside errno's, for what a file that is there is not.
inline constexpr int kNotRegularFileError = 0x10001;
inline constexpr int kFileTooLargeError = 0x10002;

// The text of an error number: strerror's, or ours for the two above.
std::string FileErrorText(int error);

// Opens path for reading, without waiting, and keeps it only when it is a regular file of at
// most maxBytes (0: any size). The descriptor (blocking, close-on-exec), or -1 with the
// reason in *error.
int OpenRegularFileForReading(const std::string& path, int* error, std::size_t maxBytes = 0);

// Options files and stores hold a few kilobytes; a megabyte is far beyond any of them.
inline constexpr std::size_t kMaxWholeFileBytes = std::size_t{1} << 20;

// Reads a whole regular file of at most maxBytes into contents. False (contents empty, the
// reason in *error when error is given) when it cannot.
bool ReadRegularFile(const std::string& path, std::string* contents, std::size_t maxBytes,
                     int* error = nullptr);
