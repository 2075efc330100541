#include "shell/FolderSearchChoices.h"

#include "finder/SearchFilters.h"
#include "shell/SearchChoices.h"
#include "shell/SettingsStore.h"

#include <QDir>
#include <QFile>

namespace {

const QString section = QStringLiteral("FolderSearch");

int readCount(const SettingsStore& settings, const QString& key)
{
    bool ok = false;
    const int count = settings.GetSetting(section, key, QStringLiteral("0")).trimmed().toInt(&ok);
    return ok && count > 0 ? count : 0;
}

QString cleanFolder(const QString& path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

} // namespace

FolderSearchChoices FolderSearchChoices::load(const SettingsStore& settings)
{
    FolderSearchChoices choices;
    const int folders = readCount(settings, QStringLiteral("Folders"));
    for (int i = 1; i <= folders; ++i) {
        const QString path = settings.GetSetting(section, QStringLiteral("Folder%1").arg(i), {});
        if (path.isEmpty())
            continue;
        const bool isProtected
            = settings.GetSetting(section, QStringLiteral("Protected%1").arg(i), {}).trimmed()
            == QLatin1String("1");
        choices.folders.append({path, isProtected});
    }
    const int excludes = readCount(settings, QStringLiteral("Excludes"));
    for (int i = 1; i <= excludes; ++i) {
        const QString pattern
            = settings.GetSetting(section, QStringLiteral("Exclude%1").arg(i), {}).trimmed();
        if (!pattern.isEmpty())
            choices.excludes.append(pattern);
    }
    choices.minimumSize = settings.GetSetting(section, QStringLiteral("MinimumSize"), {}).trimmed();
    return choices;
}

void FolderSearchChoices::save(SettingsStore& settings) const
{
    settings.SaveSetting(section, QStringLiteral("Folders"), QString::number(folders.size()));
    for (int i = 0; i < folders.size(); ++i) {
        settings.SaveSetting(section, QStringLiteral("Folder%1").arg(i + 1), folders[i].path);
        settings.SaveSetting(section, QStringLiteral("Protected%1").arg(i + 1),
            folders[i].isProtected ? QStringLiteral("1") : QStringLiteral("0"));
    }
    settings.SaveSetting(section, QStringLiteral("Excludes"), QString::number(excludes.size()));
    for (int i = 0; i < excludes.size(); ++i)
        settings.SaveSetting(section, QStringLiteral("Exclude%1").arg(i + 1), excludes[i]);
    settings.SaveSetting(section, QStringLiteral("MinimumSize"), minimumSize.trimmed());
}

void FolderSearchChoices::protect(const QString& folder)
{
    const QString path = cleanFolder(folder);
    for (Folder& entry : folders)
        if (cleanFolder(entry.path) == path) {
            entry.isProtected = true;
            return;
        }
    folders.append({path, true});
}

QString FolderSearchChoices::problem() const
{
    if (folders.isEmpty())
        return QStringLiteral("Add a folder to search first.");
    if (!minimumSize.trimmed().isEmpty() && !finder::parseSize(minimumSize.trimmed().toUtf8()))
        return QStringLiteral("The smallest size \"%1\" is not a size: write it in bytes, or "
                              "with K, M or G (\"200K\").")
            .arg(minimumSize.trimmed());
    return QString();
}

WholeFolderRequest FolderSearchChoices::request(const SearchChoices& boxes) const
{
    WholeFolderRequest request;
    request.recursive = boxes.subfolders;
    request.samePhoto = boxes.samePhoto;
    for (const Folder& entry : folders) {
        const QByteArray path = QFile::encodeName(cleanFolder(entry.path));
        if (request.folder.isEmpty())
            request.folder = path;
        else
            request.moreFolders.append(path);
        if (entry.isProtected)
            request.protectedFolders.append(path);
    }
    for (const QString& pattern : excludes)
        request.excludes.append(pattern.toUtf8());
    request.minimumSize = finder::parseSize(minimumSize.trimmed().toUtf8()).value_or(0);
    return request;
}
