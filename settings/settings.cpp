#include "settings/settings.h"

namespace k3 {

namespace {
const char* const kGroup = "IniSetting";
}

Settings::Settings() : s_(std::make_unique<QSettings>("K3MIVLOR", "K3MIVLOR")) {}

Settings::Settings(const QString& iniFile) : s_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

int Settings::readInt(const char* key, int def, int lo, int hi) const {
    QString text = s_->value(QString(kGroup) + "/" + key).toString().trimmed();
    bool ok = false;
    int v = text.toInt(&ok);
    return ok && v >= lo && v <= hi ? v : def;
}

void Settings::write(const char* key, const QString& text) {
    s_->setValue(QString(kGroup) + "/" + key, text);
    s_->sync();
}

int Settings::lotteryIndex() const { return readInt("GsZl", 0, 0, 14); }
bool Settings::freePositions() const {
    QString t = s_->value(QString(kGroup) + "/bolZyw").toString().trimmed();
    if (t.compare("False", Qt::CaseInsensitive) == 0) return false;
    return true;
}
int Settings::searchType() const { return readInt("intLei", 0, 0, 3); }
int Settings::segmentBase() const { return readInt("DsIni", 1, 0, 1); }
int Settings::partialWidth() const { return readInt("intZhWSetup", 2, -32768, 32767); }
int Settings::lookBackYears() const { return readInt("IniSerchDay", 6, 2, 16); }
QString Settings::updateUrl() const {
    QString v = s_->value(QString(kGroup) + "/UpdateUrl").toString().trimmed();
    return v.isEmpty() ? defaultUpdateUrl() : v;
}

QString Settings::watchList() const { return s_->value(QString(kGroup) + "/TixingList").toString().trimmed(); }

bool Settings::watchNotifications() const {
    return s_->value(QString(kGroup) + "/TixingTray").toString().trimmed().compare("True", Qt::CaseInsensitive) == 0;
}

bool Settings::updateUrlSet() const { return updateUrl() != defaultUpdateUrl(); }

QString Settings::defaultUpdateUrl() { return "http://{code}.k3gap.example/?n={n}"; }

void Settings::setLotteryIndex(int v) { write("GsZl", QString::number(v)); }
void Settings::setFreePositions(bool v) { write("bolZyw", v ? "True" : "False"); }
void Settings::setSearchType(int v) { write("intLei", QString::number(v)); }
void Settings::setSegmentBase(int v) { write("DsIni", QString::number(v)); }
void Settings::setPartialWidth(int v) { write("intZhWSetup", QString::number(v)); }
void Settings::setLookBackYears(int v) { write("IniSerchDay", QString::number(v)); }
void Settings::setUpdateUrl(const QString& v) { write("UpdateUrl", v); }
void Settings::setWatchList(const QString& v) { write("TixingList", v); }
void Settings::setWatchNotifications(bool v) { write("TixingTray", v ? "True" : "False"); }

}  // namespace k3
