#include "protocol/dictionary_lines.h"

#include <unistd.h>

#include <cerrno>

#include "infra/regular_file.h"

UniqueFile OpenDictionaryFile(const std::string& path, int& error) {
    const int fd = OpenRegularFileForReading(path, &error, kMaxDictionaryFileBytes);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "r");
    if (stream == nullptr) {
        error = errno;
        close(fd);
    }
    return UniqueFile(stream);
}

bool ReadPiece(std::FILE* file, std::string& piece) {
    piece.clear();
    int c = getc_unlocked(file);
    if (c == EOF) return false;
    std::size_t count = 0;
    bool cut = false;
    for (; c != EOF && c != '\n'; c = getc_unlocked(file)) {
        if (c == '\0') cut = true;
        if (!cut) piece.push_back(static_cast<char>(c));
        if (++count == kMaxPieceLength) {
            // A line of exactly the maximum length keeps its own line end.
            const int next = getc_unlocked(file);
            if (next != '\n' && next != EOF) std::ungetc(next, file);
            break;
        }
    }
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();  // files written with CR LF
    return true;
}

bool ReadLine(std::FILE* file, std::string& line, std::size_t maxLength, bool& cut) {
    line.clear();
    cut = false;
    int c = getc_unlocked(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = getc_unlocked(file)) {
        if (line.size() < maxLength) {
            line.push_back(static_cast<char>(c));
        } else {
            cut = true;
        }
    }
    if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> tokens;
    std::size_t start = text.find_first_not_of(separators);
    while (start != std::string_view::npos) {
        std::size_t end = text.find_first_of(separators, start);
        tokens.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        start = end == std::string_view::npos ? end : text.find_first_not_of(separators, end);
    }
    return tokens;
}
