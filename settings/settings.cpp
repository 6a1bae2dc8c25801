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

int Settings::gsZl() const { return readInt("GsZl", 0, 0, 14); }
bool Settings::bolZyw() const {
    QString t = s_->value(QString(kGroup) + "/bolZyw").toString().trimmed();
    if (t.compare("False", Qt::CaseInsensitive) == 0) return false;
    return true;
}
int Settings::intLei() const { return readInt("intLei", 0, 0, 3); }
int Settings::dsIni() const { return readInt("DsIni", 1, 0, 1); }
int Settings::intZhWSetup() const { return readInt("intZhWSetup", 2, -32768, 32767); }
int Settings::iniSerchDay() const { return readInt("IniSerchDay", 6, 2, 16); }
QString Settings::updateUrl() const {
    QString v = s_->value(QString(kGroup) + "/UpdateUrl").toString().trimmed();
    return v.isEmpty() ? defaultUpdateUrl() : v;
}

QString Settings::defaultUpdateUrl() { return "http://{code}.k3gap.example/?n={n}"; }

void Settings::setGsZl(int v) { write("GsZl", QString::number(v)); }
void Settings::setBolZyw(bool v) { write("bolZyw", v ? "True" : "False"); }
void Settings::setIntLei(int v) { write("intLei", QString::number(v)); }
void Settings::setDsIni(int v) { write("DsIni", QString::number(v)); }
void Settings::setIntZhWSetup(int v) { write("intZhWSetup", QString::number(v)); }
void Settings::setIniSerchDay(int v) { write("IniSerchDay", QString::number(v)); }
void Settings::setUpdateUrl(const QString& v) { write("UpdateUrl", v); }

}  // namespace k3
