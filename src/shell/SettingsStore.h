#pragma once
// Corvane's per-user settings: text values addressed by section and key in
// an INI file (~/.config/Corvane/Corvane.ini). The application name is
// "Corvane" for every key.

#include <QString>

class QSettings;

class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();

    QString GetSetting(
        const QString& section, const QString& key, const QString& defaultValue) const;
    // Values reach the file at the latest when the store goes away; sync()
    // writes them at once.
    void SaveSetting(const QString& section, const QString& key, const QString& value);
    void sync();

    // A stored number, or defaultValue when the key is missing or its text
    // does not read as a finite number.
    float GetNumber(const QString& section, const QString& key, float defaultValue) const;
    // Writes the decimal text of a single-precision value ("10440", "1234.5").
    void SaveNumber(const QString& section, const QString& key, float value);

    QString fileName() const;

private:
    QSettings* m_settings;
};
