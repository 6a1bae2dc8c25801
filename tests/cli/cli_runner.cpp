#include "cli_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace k3test {

namespace {
std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}
}  // namespace

CliRun runCli(const std::string& dataDir, const std::string& configDir, const std::string& args) {
    const std::string out = configDir + ".out", err = configDir + ".err";
    const std::string cmd = "XDG_CONFIG_HOME='" + configDir + "' '" K3GAP_CLI "' --data '" + dataDir + "' " + args +
                            " >'" + out + "' 2>'" + err + "'";
    int st = std::system(cmd.c_str());
    CliRun r;
    r.rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

}  // namespace k3test
