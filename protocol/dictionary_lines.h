// Reading dictionary files as text lines, for the readers of both formats.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "infra/file_handle.h"

// A dictionary holds a few hundred kilobytes at most; this is far beyond any.
inline constexpr std::size_t kMaxDictionaryFileBytes = std::size_t{16} << 20;

// Opens a regular file of at most kMaxDictionaryFileBytes for reading. Anything else (a
// folder, a device, a pipe whose opening would wait for a writer) is refused, its reason in
// error.
UniqueFile OpenDictionaryFile(const std::string& path, int& error);

// Longest piece of a line the own format handles as one line; longer lines are read in such
// pieces.
inline constexpr std::size_t kMaxPieceLength = 259;

// Reads one line, or one 259-character piece of a longer line, without its line end.
// A zero octet ends the text of the line, as it would for C text. False at the end of the file.
bool ReadPiece(std::FILE* file, std::string& piece);

// Reads one whole line without its line end (and without a CR before it). A line longer than
// maxLength keeps its first maxLength characters and sets cut. False at the end of the file.
bool ReadLine(std::FILE* file, std::string& line, std::size_t maxLength, bool& cut);

// The tokens of text between runs of separators.
std::vector<std::string_view> Split(std::string_view text, std::string_view separators);
