#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>

namespace k3bench {

double runProgram(const std::vector<std::string>& args, const std::string& configDir) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + configDir, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
    if (spawned) waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

}  // namespace k3bench
