// Splitting a file's text into lines, whatever their length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One entry per line; trailing CR and LF characters are removed. A last line without a line
// end counts; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
