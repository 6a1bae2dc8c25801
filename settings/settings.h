// The user's settings: application "K3MIVLOR", group "IniSetting", every value stored as text
// ("True"/"False", decimal digits). A missing or unreadable value reads as its default.
#pragma once
#include <QSettings>
#include <QString>
#include <memory>

namespace k3 {

class Settings {
public:
    // The user's own settings store (registry on Windows, an ini file elsewhere).
    Settings();
    // A settings file of its own, for tests and scripted use.
    explicit Settings(const QString& iniFile);

    int lotteryIndex() const;    // GsZl: 0..14, default 0
    bool freePositions() const;  // bolZyw: default true
    int searchType() const;      // intLei: 0..3, default 0
    int segmentBase() const;     // DsIni: 0 or 1, default 1
    int partialWidth() const;    // intZhWSetup: partial-search width, default 2
    int lookBackYears() const;   // IniSerchDay: update look-back in years 2..16, default 6
    QString updateUrl() const;   // request address template with {code}, {n} and {date}
    // Whether the player has set the address: the default is only an example.
    bool updateUrlSet() const;
    // TixingList: the watched items of 遗漏提醒 with their thresholds, as one text ("和值:10x2; ...",
    // read by watch/watch_item.h); empty when none.
    QString watchList() const;
    // TixingTray: a desktop notification when a watched item reaches its threshold; default false.
    bool watchNotifications() const;

    void setLotteryIndex(int v);
    void setFreePositions(bool v);
    void setSearchType(int v);
    void setSegmentBase(int v);
    void setPartialWidth(int v);
    void setLookBackYears(int v);
    void setUpdateUrl(const QString& v);
    void setWatchList(const QString& v);
    void setWatchNotifications(bool v);

    static QString defaultUpdateUrl();

private:
    int readInt(const char* key, int def, int lo, int hi) const;
    void write(const char* key, const QString& text);

    std::unique_ptr<QSettings> s_;
};

}  // namespace k3
