#pragma once
// One velmorloom per user: a lock file in $XDG_RUNTIME_DIR (or /tmp/velmorloom-<uid>,
// a folder of the user's own, when that is not set). The first instance holds the lock
// for its whole life and keeps its process id in the file; a second one finds the lock
// taken and asks the first, by SIGUSR1, to raise its window.
#include <string>
#include <sys/types.h>

namespace vl::linuxapp {

class SingleInstance {
public:
    enum class Result { first, another, failed };

    SingleInstance() = default;
    ~SingleInstance(); // releases the lock (the file stays; the lock is what counts)
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock. another: otherPid is the running instance (0 if unknown).
    // failed: error tells why (the program then runs without the rule).
    Result acquire(pid_t& otherPid, std::string& error);

    static std::string lockPath();

private:
    int fd = -1;
};

} // namespace vl::linuxapp
