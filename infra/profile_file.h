// Profile (INI) files: values by section and key, read with a default and written in place.
//
// Layout: "[Section]" headers and "key=value" lines; lines starting with ";" or "#" are
// comments. A UTF-8 byte-order mark at the start (as some editors write one) is skipped when
// reading and kept when rewriting. Section names and keys compare without regard to ASCII letter case; blanks around
// section names, keys and values are ignored. The first occurrence of a section and the first
// matching key in it count. Every rewrite keeps all other lines, comments and their order,
// and replaces the file atomically (a crash leaves the old file or the new one).
#pragma once

#include <cstddef>
#include <string>

// Reads the value of key in section into buffer, cut to size - 1 characters and terminated.
// A missing file, section or key (or a null section or key) gives defaultValue (null reads
// as ""). Returns the number of characters stored; size 0 stores nothing.
std::size_t ReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultValue, char* buffer, std::size_t size);
// The same, without a length limit.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// Stores value under key in section, creating the file, the section and the key as needed and
// replacing an existing value in place. A null value removes the key, a null key removes the
// whole section. False when the file cannot be written (it is then left as it was) or when a
// name or value cannot be represented (line ends anywhere, "]" in a section name, "=" in a
// key, a key that would read as a comment or header, an empty section name or key).
// When error is given, a failure leaves there why: errno, or an error number of
// infra/regular_file.h (EINVAL for a name or value that cannot be represented).
bool WriteProfileString(const char* path, const char* section, const char* key,
                        const char* value, int* error = nullptr);
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

// What reading the file found: Readable with or without the section, or not readable at all
// (error, when given, tells why; a missing file gives ENOENT).
enum class ProfileSection { Present, Missing, Unreadable };
ProfileSection FindProfileSection(const std::string& path, const std::string& section,
                                  int* error = nullptr);
