// Runs the real k3gap-cli, as a user's shell would, with settings in a folder of the test's own.
#pragma once
#include <string>

namespace k3test {

struct CliRun {
    int rc = -1;
    std::string out, err;
};

// k3gap-cli --data DATA ARGS (ARGS as shell words), with XDG_CONFIG_HOME set to CONFIG.
CliRun runCli(const std::string& dataDir, const std::string& configDir, const std::string& args);

}  // namespace k3test
