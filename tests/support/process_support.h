// Helpers of the tests that look at processes from outside: the locks a process holds on a history, the
// history files it holds open after they were deleted, a small disk, another user.
#pragma once
#include <sys/types.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace k3test {

// The processes that hold SQLite's shared lock on a database file, from the kernel's table of POSIX locks
// (/proc/locks), as any other process sees it. Every connection to a history in WAL mode holds it while it
// is open; a process loses all of them when anything in it closes another descriptor of the file.
std::set<pid_t> sqliteLockHolders(const std::string& dbPath);

// The descriptors of process `pid` (0: this one) whose history file (gapbook…) was deleted while it
// was open: a log deleted under a connection that still writes to it. One text per descriptor.
std::vector<std::string> deletedHistoryFiles(pid_t pid = 0);

// Runs `body` in a child process that has a tmpfs of `bytes` mounted at `folder`, in a mount namespace
// of its own. Returns what the body returned (empty: all went as expected), or nullopt when this machine
// gives no such namespace.
std::optional<std::string> onSmallDisk(const std::string& folder, size_t bytes,
                                       const std::function<std::string()>& body);

// File modes and read-only folders do not hold for root. Run as root, this runs the current test again in
// a process of a user without privileges (nobody) and returns false: the test's outcome is that
// process's. Returns true when this process is to run the test itself.
bool runHereUnprivileged();

}  // namespace k3test
