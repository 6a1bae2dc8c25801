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

    int gsZl() const;           // lottery index 0..14, default 0
    bool bolZyw() const;        // free positions, default true
    int intLei() const;         // search type 0..3, default 0
    int dsIni() const;          // segment base 0 or 1, default 1
    int intZhWSetup() const;    // partial-search width, default 2
    int iniSerchDay() const;    // update look-back in years 2..16, default 6
    QString updateUrl() const;  // request address template with {code} and {n}

    void setGsZl(int v);
    void setBolZyw(bool v);
    void setIntLei(int v);
    void setDsIni(int v);
    void setIntZhWSetup(int v);
    void setIniSerchDay(int v);
    void setUpdateUrl(const QString& v);

    static QString defaultUpdateUrl();

private:
    int readInt(const char* key, int def, int lo, int hi) const;
    void write(const char* key, const QString& text);

    std::unique_ptr<QSettings> s_;
};

}  // namespace k3
