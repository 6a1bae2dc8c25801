#include "cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace k3test {

namespace {
std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}
const char* const kDropPrivileges = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
}  // namespace

bool canRunUnprivileged() { return geteuid() != 0 || std::system("setpriv --version >/dev/null 2>&1") == 0; }

CliRun runCli(const std::string& dataDir, const std::string& configDir, const std::string& args,
              const CliOptions& options) {
    const std::string out = configDir + ".out", err = configDir + ".err";
    const std::string drop = options.unprivileged && geteuid() == 0 ? kDropPrivileges : "";
    const std::string cmd = options.shellPrefix + "\n" + "XDG_CONFIG_HOME='" + configDir + "' timeout -k 5 120 " +
                            drop + "'" K3GAP_CLI "' --data '" + dataDir + "' " + args + " >'" + out + "' 2>'" + err +
                            "'";
    int st = std::system(cmd.c_str());
    CliRun r;
    r.rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    // A run that never ends fails the test with a reason instead of holding it up.
    if (r.rc == 124) r.err += "\n(k3gap-cli did not end within 120 s and was stopped)";
    return r;
}

}  // namespace k3test
