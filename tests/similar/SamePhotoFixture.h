#pragma once
// The fixture of the same-photo tests: the calibration and check halves of
// the photo collection, made once for the whole test program.
#include "PhotoCollection.h"

#include "finder/Finder.h"
#include "finder/PictureReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

    static FinderResult search(bool samePhoto, const QString& cache, FinderStats* stats = nullptr,
        std::uint64_t memoryBudget = 0)
    {
        FinderOptions options;
        options.memoryBudget = memoryBudget;
        options.folders = {QFile::encodeName(s_check.root)};
        options.cachePath = cache;
        options.cacheSettleNs = 0;
        options.samePhoto = samePhoto;
        Finder finder(options);
        FinderResult result = finder.run();
        if (stats)
            *stats = finder.stats();
        return result;
    }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline bool s_ready = false;
    static inline photocollection::Collection s_calibrationSet;
    static inline photocollection::Collection s_check;
    static inline photocollection::Collection s_editsSet;
};
