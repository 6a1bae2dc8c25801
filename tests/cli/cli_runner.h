// Runs the real k3gap-cli, as a user's shell would, with settings in a folder of the test's own.
#pragma once
#include <string>

namespace k3test {

struct CliRun {
    int rc = -1;
    std::string out, err;
};

struct CliOptions {
    // Run as a user without privileges (nobody, when the tests run as root), so that file modes and
    // read-only folders hold for the program as they do for a user.
    bool unprivileged = false;
    // Shell commands run before the program in the same shell, e.g. "ulimit -f 64".
    std::string shellPrefix;
};

// k3gap-cli --data DATA ARGS (ARGS as shell words), with XDG_CONFIG_HOME set to CONFIG.
CliRun runCli(const std::string& dataDir, const std::string& configDir, const std::string& args,
              const CliOptions& options = {});

// True when runCli can run the program without privileges (always, unless root lacks setpriv).
bool canRunUnprivileged();

}  // namespace k3test
