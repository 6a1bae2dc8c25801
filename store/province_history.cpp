#include "store/province_history.h"

#include <filesystem>

#include "store/province.h"

namespace fs = std::filesystem;

namespace k3 {

namespace {

std::string inFolder(const std::string& dataDir, const std::string& name) {
    return (fs::path(dataDir) / name).string();
}

// What gapbook.db of a data folder is.
struct MainFile {
    std::string path;
    bool exists = false;
    std::optional<std::string> recorded;  // the code it records
};

MainFile readMainFile(const std::string& dataDir) {
    MainFile m;
    m.path = inFolder(dataDir, kDatabaseFileName);
    std::error_code ec;
    m.exists = fs::exists(m.path, ec);
    // An empty file is made a history when it is opened, with the record of the province that opens it.
    if (!m.exists || fs::file_size(m.path, ec) == 0 || ec) return m;
    try {
        HistoryStore store(m.path);
        m.recorded = store.recordedProvince();
    } catch (const StoreError& e) {
        if (e.kind() == StoreFailure::kLocked) throw;
        // A gapbook.db that cannot be read records nothing: the province it would belong to opens it
        // and hears why.
    }
    return m;
}

ProvinceFiles decide(const std::string& dataDir, int provinceIndex, int unrecordedOwner, const MainFile& main) {
    ProvinceFiles f;
    f.province = provinceIndex;
    const std::string own = inFolder(dataDir, provinceDatabaseName(provinceIndex));
    bool isMain = false;
    if (main.recorded) {
        isMain = *main.recorded == province(provinceIndex).code;
    } else {
        std::error_code ec;
        if (fs::exists(own, ec))
            isMain = false;  // the province has a file of its own
        else if (!main.exists)
            isMain = true;  // a new data folder: the first history made is gapbook.db
        else
            isMain = f.adopted = provinceIndex == unrecordedOwner;
    }
    f.database = isMain ? main.path : own;
    f.backup = inFolder(dataDir, isMain ? kBackupFileName : provinceBackupName(provinceIndex));
    return f;
}

std::string provinceName(const std::string& code) {
    if (auto index = provinceIndexOfCode(code)) return province(*index).caption;
    return "彩种代码 " + code;
}

// A file named after one province that records another one's history is never taken for the first.
void requireProvince(HistoryStore& store, int provinceIndex) {
    const std::string code = province(provinceIndex).code;
    const std::optional<std::string> recorded = store.recordedProvince();
    if (recorded && *recorded != code)
        throw StoreError("历史数据库 " + store.path() + " 记下的是" + provinceName(*recorded) + "的历史，不是" +
                             province(provinceIndex).caption + "的，未作任何改动",
                         StoreFailure::kNotHistory);
}

}  // namespace

std::string provinceDatabaseName(int provinceIndex) {
    return std::string("gapbook-") + province(provinceIndex).code + ".db";
}

std::string provinceBackupName(int provinceIndex) {
    return std::string("lsbf-") + province(provinceIndex).code + ".txt";
}

ProvinceFiles provinceFiles(const std::string& dataDir, int provinceIndex, int unrecordedOwner) {
    return decide(dataDir, provinceIndex, unrecordedOwner, readMainFile(dataDir));
}

ProvinceHistory openProvinceHistory(const std::string& dataDir, int provinceIndex, int unrecordedOwner) {
    return openProvinceHistory(provinceFiles(dataDir, provinceIndex, unrecordedOwner));
}

ProvinceHistory openProvinceHistory(const ProvinceFiles& files) {
    ProvinceHistory h;
    h.files = files;
    h.store = std::make_unique<HistoryStore>(files.database, province(files.province).code);
    requireProvince(*h.store, files.province);
    return h;
}

ProvinceListing listProvinceHistories(const std::string& dataDir, int unrecordedOwner, bool counted) {
    ProvinceListing out;
    const MainFile main = readMainFile(dataDir);
    bool mainTaken = !main.exists;
    for (int p = 0; p < kProvinceCount; ++p) {
        const ProvinceFiles f = decide(dataDir, p, unrecordedOwner, main);
        std::error_code ec;
        if (!fs::exists(f.database, ec)) continue;
        mainTaken = mainTaken || f.database == main.path;
        ProvinceSummary s;
        s.province = p;
        s.database = f.database;
        // An empty file holds no history yet; opened, it would be made one.
        if (fs::file_size(f.database, ec) == 0 || ec) {
            if (counted) out.histories.push_back(s);
            continue;
        }
        try {
            HistoryStore store(f.database);
            requireProvince(store, p);
            if (counted) {
                s.draws = store.count();
                s.first = store.oldestIssue();
                s.last = store.newestIssue();
            }
            out.histories.push_back(s);
        } catch (const StoreError& e) {
            out.problems.push_back(e.what());
        }
    }
    if (!mainTaken)
        out.problems.push_back("历史数据库 " + main.path +
                               (main.recorded ? " 记下的是" + provinceName(*main.recorded) + "的历史"
                                              : std::string(" 没有记下彩种，") + province(unrecordedOwner).caption +
                                                    "已有自己的历史数据库") +
                               "，它不是任何一个彩种的历史");
    return out;
}

HistoryProbe::HistoryProbe(const std::string& path) : path_(path), db_(path, Db::Mode::kReadOnly) {
    version_ = db_.scalarInt("PRAGMA data_version");
}

bool HistoryProbe::changed() {
    const int64_t now = db_.scalarInt("PRAGMA data_version");
    const bool differs = now != version_;
    version_ = now;
    return differs;
}

}  // namespace k3
