// A program run as a user starts it, for the end-to-end benchmarks: a new process with its output
// thrown away, XDG_CONFIG_HOME set to the given folder and a plain PATH.
#pragma once
#include <string>
#include <vector>

namespace k3bench {

// The seconds the program (args[0], then its arguments) took, or a negative number when it could not
// be started or did not exit with 0.
double runProgram(const std::vector<std::string>& args, const std::string& configDir);

}  // namespace k3bench
