#pragma once
// What the search window searches: several folders, each searched or only
// protected, patterns left out and the smallest file size. Kept in the
// settings file beside the three check boxes (SearchChoices), whose
// subfolder and same-photo choices the search takes too.

#include "review/WholeFolderSearch.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;
struct SearchChoices;

struct FolderSearchChoices {
    struct Folder {
        QString path; // absolute, without a trailing "/" except "/" itself
        bool isProtected = false;
        bool operator==(const Folder&) const = default;
    };
    QList<Folder> folders;
    QStringList excludes; // SearchFilters patterns, one each
    QString minimumSize; // as typed: "", "200K", "1M"; parseSize reads it

    bool operator==(const FolderSearchChoices&) const = default;

    // Section "FolderSearch": "Folders" (a count), "Folder<n>" and
    // "Protected<n>" ("1" or "0"), "Excludes" (a count), "Exclude<n>", and
    // "MinimumSize".
    static FolderSearchChoices load(const SettingsStore& settings);
    void save(SettingsStore& settings) const;

    // Protects folder: the entry of that path, or a new protected entry.
    void protect(const QString& folder);

    // A problem to show before searching ("" for none): no folder, a size
    // that does not read.
    QString problem() const;
    // The whole-folder search of these choices with the boxes' subfolder and
    // same-photo choices. Every folder is searched; a protected one's files
    // are protected.
    WholeFolderRequest request(const SearchChoices& boxes) const;
};
