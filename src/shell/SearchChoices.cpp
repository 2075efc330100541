#include "shell/SearchChoices.h"

#include "shell/SettingsStore.h"

namespace {

bool readFlag(const SettingsStore& settings, const char* key)
{
    return settings.GetSetting(QStringLiteral("Search"), QLatin1String(key), QStringLiteral("0"))
               .trimmed()
        == QLatin1String("1");
}

} // namespace

SearchChoices SearchChoices::load(const SettingsStore& settings)
{
    SearchChoices choices;
    choices.everyPicture = readFlag(settings, "EveryPicture");
    choices.subfolders = readFlag(settings, "Subfolders");
    choices.samePhoto = readFlag(settings, "SamePhoto");
    return choices;
}

void SearchChoices::save(SettingsStore& settings) const
{
    settings.SaveSetting(QStringLiteral("Search"), QStringLiteral("EveryPicture"),
        everyPicture ? QStringLiteral("1") : QStringLiteral("0"));
    settings.SaveSetting(QStringLiteral("Search"), QStringLiteral("Subfolders"),
        subfolders ? QStringLiteral("1") : QStringLiteral("0"));
    settings.SaveSetting(QStringLiteral("Search"), QStringLiteral("SamePhoto"),
        samePhoto ? QStringLiteral("1") : QStringLiteral("0"));
}
