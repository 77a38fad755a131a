// Writing a whole text to a path named for output (the run report). Only a regular file is
// replaced (atomically; a symbolic link is followed to its target). The standard output
// ("-", or a path that is the very file standard output or error goes to, /dev/stdout among
// them), a character device and a FIFO are written through as they are. Nothing else is
// touched: not a folder, a block device, a socket, or a link whose target is missing.
#pragma once

#include <string>
#include <string_view>

struct OutputRoute {
    enum Kind { StandardStream, WriteThrough, Replace };
    Kind kind = Replace;
    int streamFd = -1;  // StandardStream: 1 or 2
};

// A FIFO's reader gets this long to take the text.
inline constexpr int kOutputWaitMs = 10000;

// Which way output to path would go, looking without touching anything; false with the
// reason when it cannot go there (no folder to make the file in, no permission to write, one
// of the things above that are never written).
bool CheckOutputPath(const std::string& path, OutputRoute& route, std::string& reason);

// Writes the whole text the way CheckOutputPath finds now; false with the reason. A FIFO
// that no process reads fails at once; one whose reader does not take the text within
// kOutputWaitMs fails then.
bool WriteOutputFile(const std::string& path, std::string_view text, std::string& reason);
