// k3gap-cli commands of the analyses: search, partial, group.
#include "cli.h"

namespace k3cli {

int runAnalysisCommand(Context&, const std::string&, const std::vector<std::string>&) { return -1; }

}  // namespace k3cli
