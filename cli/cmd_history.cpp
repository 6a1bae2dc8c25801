// k3gap-cli commands that bring draws in and take them out: import, update, trim, export-text.
#include "cli.h"

namespace k3cli {

int runHistoryCommand(Context&, const std::string&, const std::vector<std::string>&) { return -1; }

}  // namespace k3cli
