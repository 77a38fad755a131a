// An advisory lock that marks a file as in use by one process for the process's life.
//
// The lock is taken on FILE.lock beside the file (beside the file a symbolic link leads to,
// so that every name of one file shares its lock; made when missing, never removed: removing
// a lock file lets two processes lock two different files of one name). The file itself
// would not do: it is replaced by rename() on every save, and a lock on the old one would not
// hold the new one. Where no lock file can be made (a folder that takes no new files), the
// file cannot be replaced either, and the lock is taken on the file itself. The lock file
// holds the process id of its holder, for the message of the next one.
#pragma once

#include <string>

class InUseLock {
public:
    InUseLock() = default;
    ~InUseLock();
    InUseLock(const InUseLock&) = delete;
    InUseLock& operator=(const InUseLock&) = delete;

    // True when this process holds the lock now, or when there is nothing to lock (neither a
    // lock file nor the file can be opened: then nothing of it can be written anyway). False
    // with the reason when another process holds it.
    bool Acquire(const std::string& file, std::string& reason);

    static std::string LockFileFor(const std::string& file) { return file + ".lock"; }

private:
    int fd_ = -1;
};
