#pragma once
// The fixture of the whole-folder search's tests: one generated collection per
// test program, copied for each test so that a test may change its files.
#include "TestCollection.h"

#include "finder/Finder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

// Paths in failure messages as text, not as lists of characters.
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

using testcollection::Collection;
using testcollection::PathSet;

struct Found {
    std::set<PathSet> groups;
    std::map<QByteArray, QString> unreadable;
    PathSet grouped;
};

inline Found relativeTo(const QString& root, const FinderResult& result)
{
    const QByteArray prefix = QFile::encodeName(QDir(root).absolutePath()) + '/';
    auto relative = [&](const QByteArray& path) {
        EXPECT_TRUE(path.startsWith(prefix)) << path.toStdString();
        return path.mid(prefix.size());
    };
    Found found;
    for (const DuplicateGroup& group : result.groups) {
        PathSet members;
        for (const FoundFile& file : group.files) {
            members.insert(relative(file.path));
            found.grouped.insert(relative(file.path));
        }
        found.groups.insert(members);
    }
    for (const UnreadableFile& file : result.unreadable)
        found.unreadable[relative(file.path)] = file.reason;
    return found;
}

class FinderTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        s_ready = testcollection::make(s_dir->path(), &s_collection);
    }
    static void TearDownTestSuite()
    {
        removeTree(s_dir->path());
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_ready) << "the collection could not be made";
        // Each test searches its own copy, so that it may change files.
        m_root = m_work.filePath(QStringLiteral("collection"));
        ASSERT_TRUE(testcollection::copyTree(s_dir->path(), m_root));
        m_cachePath = m_work.filePath(QStringLiteral("cache/fingerprints.sqlite"));
    }

    void TearDown() override { removeTree(m_work.path()); }

    // QDir::removeRecursively() cannot remove names that are not text.
    static void removeTree(const QString& path)
    {
        testcollection::run(QStringLiteral("rm"), {QStringLiteral("-rf"), path});
    }

    FinderOptions options(bool recursive = true) const
    {
        FinderOptions options;
        options.folders = {QFile::encodeName(m_root)};
        options.recursive = recursive;
        options.cachePath = m_cachePath;
        options.cacheSettleNs = 0;
        return options;
    }

    QString path(const char* relative) const
    {
        return m_root + QLatin1Char('/') + QString::fromUtf8(relative);
    }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline Collection s_collection;
    static inline bool s_ready = false;
    QTemporaryDir m_work;
    QString m_root;
    QString m_cachePath;
};
