#include "shell/SettingsStore.h"

#include <QLocale>
#include <QSettings>
#include <cmath>

SettingsStore::SettingsStore()
    : m_settings(new QSettings(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Corvane"), QStringLiteral("Corvane")))
{
}

SettingsStore::~SettingsStore()
{
    delete m_settings;
}

QString SettingsStore::GetSetting(
    const QString& section, const QString& key, const QString& defaultValue) const
{
    const QVariant value = m_settings->value(section + QLatin1Char('/') + key);
    return value.isValid() ? value.toString() : defaultValue;
}

void SettingsStore::SaveSetting(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(section + QLatin1Char('/') + key, value);
}

void SettingsStore::sync()
{
    m_settings->sync();
}

float SettingsStore::GetNumber(const QString& section, const QString& key, float defaultValue) const
{
    const QString text = GetSetting(section, key, QString()).trimmed();
    if (text.isEmpty())
        return defaultValue;
    // Corvane writes "." decimals; a value typed with the user's own
    // separator is accepted too.
    bool ok = false;
    float value = QLocale::c().toFloat(text, &ok);
    if (!ok)
        value = QLocale::system().toFloat(text, &ok);
    return ok && std::isfinite(value) ? value : defaultValue;
}

void SettingsStore::SaveNumber(const QString& section, const QString& key, float value)
{
    SaveSetting(section, key, QString::number(value, 'g', 7));
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}
