#pragma once
// The fixture of the same-photo tests: the calibration and check halves of
// the photo collection, made once for the whole test program.
#include "PhotoCollection.h"

#include "finder/Finder.h"
#include "finder/PictureReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

class SamePhotoCollectionTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        finder::preparePictureReading();
        s_dir = new QTemporaryDir;
        QDir().mkpath(s_dir->filePath(QStringLiteral("check")));
        s_ready = photocollection::make(s_dir->filePath(QStringLiteral("check")),
            photocollection::checkPhotos(), &s_check, photocollection::Variants::First);
    }

    // The larger collections, made when a test first asks for one: each test
    // runs in a process of its own, and only two tests need them.
    static const photocollection::Collection& calibration()
    {
        return madeOnce(
            s_calibrationSet, QStringLiteral("calibration"), photocollection::calibrationPhotos());
    }
    static const photocollection::Collection& edits()
    {
        return madeOnce(s_editsSet, QStringLiteral("edits"), photocollection::checkEditPhotos());
    }
    static const photocollection::Collection& madeOnce(
        photocollection::Collection& collection, const QString& name, const QStringList& photos)
    {
        if (collection.root.isEmpty()) {
            QDir().mkpath(s_dir->filePath(name));
            if (!photocollection::make(s_dir->filePath(name), photos, &collection))
                collection.files.clear(); // the failure is already reported
        }
        return collection;
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_ready); }

    // A same-photo search of folder with its cache in the file cache, which
    // keeps even what changed a moment ago.
    static FinderOptions optionsFor(const QString& folder, const QString& cache)
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(folder)};
        options.cachePath = cache;
        options.cacheSettleNs = 0;
        options.samePhoto = true;
        return options;
    }

    static FinderResult search(bool samePhoto, const QString& cache, FinderStats* stats = nullptr,
        std::uint64_t memoryBudget = 0)
    {
        FinderOptions options = optionsFor(s_check.root, cache);
        options.memoryBudget = memoryBudget;
        options.samePhoto = samePhoto;
        Finder finder(options);
        FinderResult result = finder.run();
        if (stats)
            *stats = finder.stats();
        return result;
    }

    // What a user is shown of the same-photo groups (and of the edited ones
    // with withEdited): every member in order by file name, with its
    // figures. Equal answers are one search's answer.
    static std::vector<std::string> answerOf(const FinderResult& result, bool withEdited = false)
    {
        std::vector<std::string> lines;
        for (const auto* list : {&result.samePhotoGroups, &result.editedGroups}) {
            if (list == &result.editedGroups && !withEdited)
                break;
            for (const SamePhotoGroup& group : *list) {
                lines.emplace_back("group");
                for (const SamePhotoMember& member : group.members) {
                    std::string line;
                    for (const FoundFile& file : member.files)
                        line += QFileInfo(QFile::decodeName(file.path)).fileName().toStdString()
                            + ' ';
                    if (member.difference) {
                        char figures[96];
                        std::snprintf(figures, sizeof figures,
                            "ssim %.17g mean %.17g max %d at %ux%u", member.difference->ssim,
                            member.difference->mean, member.difference->max,
                            member.difference->comparedWidth, member.difference->comparedHeight);
                        line += figures;
                    }
                    lines.push_back(line);
                }
            }
        }
        return lines;
    }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline bool s_ready = false;
    static inline photocollection::Collection s_calibrationSet;
    static inline photocollection::Collection s_check;
    static inline photocollection::Collection s_editsSet;
};
