#pragma once
// The last results of a whole-folder search, kept in Corvane's data folder so
// that the review can be taken up again without a search: the groups as the
// review window listed them, each file with the identity the search recorded,
// the unreadable files, and which files were marked. Written whole or not at
// all (a new file renamed over the old one).
//
// Nothing is trusted on the way back: a file whose identity differs from the
// kept one has changed since, and the review shows it as such and never acts
// on it (ReviewModel::setChanged).

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <set>

namespace KeptResults {

struct Kept {
    FinderResult result;
    std::set<QByteArray> marked; // paths of the marked files
};

// The file in the data folder (QStandardPaths::AppDataLocation).
QString filePath();
// Empty on success, else why it could not be written.
QString save(const Kept& kept, const QString& file = filePath());
// nullopt when there is none or it cannot be read as kept results.
std::optional<Kept> load(const QString& file = filePath());
bool exists(const QString& file = filePath());
// Forgets the kept results.
void discard(const QString& file = filePath());

QByteArray toJson(const Kept& kept);
std::optional<Kept> fromJson(const QByteArray& json);

} // namespace KeptResults
