// Starting a helper program from a test (the responder CLI, radclient, the pyrad decoder)
// with its standard output on a pipe, and ending it within a bounded time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace responder {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Standard output (and error, when mergeStderr) go to a pipe that ReadLine and ReadAll
    // read; standard input is /dev/null.
    bool Start(const std::vector<std::string>& arguments, bool mergeStderr = true) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        if (mergeStderr) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const int status = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        output_ = pipeFds[0];
        if (status != 0) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // The next line of output without its newline, or nothing when none comes in time.
    std::optional<std::string> ReadLine(std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        for (;;) {
            const auto newline = buffered_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffered_.substr(0, newline);
                buffered_.erase(0, newline + 1);
                return line;
            }
            if (!Fill(deadline)) return std::nullopt;
        }
    }

    // Everything until the program closes its output (or the time is up).
    std::string ReadAll(std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (Fill(deadline)) {
        }
        std::string all;
        all.swap(buffered_);
        return all;
    }

    void Signal(int signal) {
        if (pid_ > 0) ::kill(pid_, signal);
    }
    pid_t Pid() const { return pid_; }

    // The exit status, or nothing when it did not end in time (it is then killed).
    std::optional<int> Wait(std::chrono::milliseconds within) {
        if (pid_ <= 0) return std::nullopt;
        const auto deadline = std::chrono::steady_clock::now() + within;
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                if (WIFEXITED(status)) return WEXITSTATUS(status);
                return 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Kill();
        return std::nullopt;
    }

private:
    bool Fill(std::chrono::steady_clock::time_point deadline) {
        if (output_ < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fds{output_, POLLIN, 0};
        if (::poll(&fds, 1, static_cast<int>(left.count())) != 1) return false;
        char chunk[4096];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            ::close(output_);
            output_ = -1;
            return false;
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }

    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (output_ >= 0) ::close(output_);
        output_ = -1;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffered_;
};

}  // namespace responder
