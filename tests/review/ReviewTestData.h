#pragma once
// Search results for the review tests: groups made in memory (for the rules,
// no file needed) and groups of real files on disk (for acting on them).

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace ReviewTestData {

struct MemberFacts {
    const char* path;
    std::int64_t size;
    std::int64_t modifiedSeconds;
};

FoundFile memberFile(const MemberFacts& member);
DuplicateGroup groupOf(const std::vector<MemberFacts>& members);
FinderResult resultOf(const std::vector<DuplicateGroup>& groups, const char* folder = "/photos");

// A real file's identity as the search would have recorded it.
FileIdentity identityOf(const QByteArray& path);
FoundFile foundOnDisk(const QString& path, const QString& type = QStringLiteral("PNG"));
// A small PNG whose pixels depend on seed.
void writePicture(const QString& path, int seed);
// Runs ImageMagick's convert with these arguments; true when it made its file.
bool convert(const QStringList& arguments);

} // namespace ReviewTestData
