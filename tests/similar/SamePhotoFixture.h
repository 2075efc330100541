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
        QDir().mkpath(s_dir->filePath(QStringLiteral("calibration")));
        QDir().mkpath(s_dir->filePath(QStringLiteral("check")));
        QDir().mkpath(s_dir->filePath(QStringLiteral("edits")));
        s_ready = photocollection::make(s_dir->filePath(QStringLiteral("calibration")),
                      photocollection::calibrationPhotos(), &s_calibration)
            && photocollection::make(s_dir->filePath(QStringLiteral("check")),
                photocollection::checkPhotos(), &s_check, photocollection::Variants::First)
            && photocollection::make(s_dir->filePath(QStringLiteral("edits")),
                photocollection::checkEditPhotos(), &s_edits);
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
    static inline photocollection::Collection s_calibration;
    static inline photocollection::Collection s_check;
    static inline photocollection::Collection s_edits;
};
