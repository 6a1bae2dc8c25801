// k3gap-cli: the command-line companion over the window's data folder and settings.
#pragma once
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "store/history_store.h"
#include "store/province_history.h"

class QCoreApplication;
namespace k3 {
struct GapSeries;
}

namespace k3cli {

// Exit statuses: 0 done, 1 bad input (message on stderr, nothing changed), 2 usage error.
inline constexpr int kOk = 0;
inline constexpr int kBadInput = 1;
inline constexpr int kUsage = 2;

// Thrown for a usage error (exit status 2).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Thrown for bad input (exit status 1).
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Context {
    std::string dataDir;
    int lottery = 0;  // province index
    int segBase = 1;
    k3::Settings* settings = nullptr;
    // The province counts its issues on rather than naming a date; how issues are written.
    bool runningNumbers() const;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;

    // The history of the province `lottery` in the data folder, opened (made the first time) on first use.
    k3::HistoryStore& store();
    // Its trimming backup.
    std::string backupFile();
    // The province that a gapbook.db without a record belongs to: the settings' one.
    int unrecordedOwner() const;

private:
    std::unique_ptr<k3::HistoryStore> store_;
    k3::ProvinceFiles files_;
};

// Refuses (UsageError) an option's value that is empty or the name of an option ("--xlsx").
void checkOptionValue(const std::string& option, const std::string& value);

// Options of a command: "--name value" pairs, "--flag" switches and positional arguments. A value that is
// empty or an option's name is a usage error.
class Args {
public:
    // `valued` lists the options that take a value; anything else starting with "--" is a switch.
    Args(const std::vector<std::string>& args, const std::vector<std::string>& valued,
         const std::vector<std::string>& switches);
    bool has(const std::string& name) const;
    std::string value(const std::string& name, const std::string& def = {}) const;
    std::vector<std::string> values(const std::string& name) const;  // repeatable option
    const std::vector<std::string>& positional() const { return pos_; }

private:
    std::vector<std::pair<std::string, std::string>> opts_;
    std::vector<std::string> pos_;
};

// Each returns the exit status; -1 means "not my command".
int runStoreCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runAnalysisCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runHistoryCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runOverviewCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runStatsCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runTrendCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);
int runWatchCommand(Context& ctx, const std::string& cmd, const std::vector<std::string>& args);

// The item of the omission table named "PLAY:ITEM" (a full-width colon too), e.g. 和值:10.
int parseItem(const std::string& text);

// The application object: one that draws offscreen when a chart is asked for with --png, else a
// console one.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv);
// Draws the omission chart of a series to a PNG file, written through k3::writeOutputBytes (never over
// the database or the backup of `dataDir`). Throws InputError when it cannot be written.
void writeChart(const k3::GapSeries& series, const std::string& path, const std::string& dataDir);

}  // namespace k3cli
