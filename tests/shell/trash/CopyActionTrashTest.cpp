// Acting on a copy from the main window, for both pair walks (the neighbour
// search and the walk over a whole-folder search's groups), against real
// files and the real trash: another program that saves over the copy right
// after the window's pair check keeps its file, in the trash and in the
// delete alike; an unchanged copy goes.
#include "review/GroupPairWalk.h"
#include "search/ComparisonRun.h"
#include "shell/CopyAction.h"
#include "shell/SystemDesktop.h"

#include "TrashTestHome.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <memory>

namespace {

class SilentView : public ComparisonView {
public:
    void beginSearch(const QString&, int) override { }
    void showProgress(qint64, qint64) override { }
    void processEvents() override { }
    void showPair(const QImage&, const QImage&, const QString&, const QString&) override
    {
        ++pairs;
    }
    void clearPair(Side) override { }
    void finishSearch(const SearchTally& tally) override { finishes.push_back(tally); }
    void cancelSearch() override { }

    int pairs = 0;
    std::vector<SearchTally> finishes;
};

// The real trash and delete; the picker and the boxes are scripted.
class ScriptedDesktop : public SystemDesktop {
public:
    QString browseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
    int messageBox(QWidget*, const QString& text, const QString&, int, int, int) override
    {
        messages << text;
        return 1;
    }
    QStringList messages;
};

// Another program saving over a copy at the worst moment: right after the
// window's check that the pair is unchanged, `replacement` is renamed over
// the copy's name, as editors save. Everything else is the walk's own.
class SaveOverAfterPairCheck : public PairWalk {
public:
    SaveOverAfterPairCheck(PairWalk& walk, QString target, QString replacement)
        : m_walk(walk)
        , m_target(std::move(target))
        , m_replacement(std::move(replacement))
    {
    }
    bool pairOnShow() const override { return m_walk.pairOnShow(); }
    QString pathOf(Side side) const override { return m_walk.pathOf(side); }
    std::optional<FileIdentity> identityOf(Side side) const override
    {
        return m_walk.identityOf(side);
    }
    bool pairUnchanged() const override
    {
        const bool unchanged = m_walk.pairUnchanged();
        if (unchanged && !m_replacement.isEmpty() && !m_savedOver) {
            m_savedOver = ::rename(QFile::encodeName(m_replacement).constData(),
                              QFile::encodeName(m_target).constData())
                == 0;
        }
        return unchanged;
    }
    QString searchFolder() const override { return m_walk.searchFolder(); }
    void actOn(Side side, ActOutcome outcome) override { m_walk.actOn(side, outcome); }

    bool savedOver() const { return m_savedOver; }

private:
    PairWalk& m_walk;
    QString m_target;
    QString m_replacement;
    mutable bool m_savedOver = false;
};

enum class Walk { Neighbours, Groups };

struct Case {
    const char* name;
    Walk walk;
    int row; // DuplicateAction's rows: 0 trash, 1 delete
    bool savedOver;
};

const Case kCases[] = {
    {"neighbours_trash_saved_over", Walk::Neighbours, 0, true},
    {"neighbours_delete_saved_over", Walk::Neighbours, 1, true},
    {"neighbours_trash_unchanged", Walk::Neighbours, 0, false},
    {"neighbours_delete_unchanged", Walk::Neighbours, 1, false},
    {"groups_trash_saved_over", Walk::Groups, 0, true},
    {"groups_delete_saved_over", Walk::Groups, 1, true},
    {"groups_trash_unchanged", Walk::Groups, 0, false},
    {"groups_delete_unchanged", Walk::Groups, 1, false},
};

void PrintTo(const Case& row, std::ostream* out)
{
    *out << row.name;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList trashedFiles()
{
    return QDir(TrashTestHome::dataHome() + QStringLiteral("/Trash/files"))
        .entryList(QDir::Files | QDir::Hidden);
}

class CopyActionTrashTest : public ::testing::TestWithParam<Case> { };

TEST_P(CopyActionTrashTest, OnlyTheComparedFileIsActedOn)
{
    const Case& row = GetParam();
    QTemporaryDir folder;
    QTemporaryDir programFolder; // no converter: BMP is read in process
    ASSERT_TRUE(folder.isValid() && programFolder.isValid());
    // A name of its own per case, so the trash of an earlier case is told apart.
    const QString copyName = QString::fromLatin1(row.name) + QStringLiteral(".bmp");
    const QString keep = folder.filePath(QStringLiteral("a.bmp"));
    const QString copy = folder.filePath(copyName);
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(qRgb(10, 120, 230));
    ASSERT_TRUE(picture.save(keep, "BMP"));
    ASSERT_TRUE(picture.save(copy, "BMP"));
    const QByteArray original = contentOf(copy);
    const QString saving = folder.filePath(QStringLiteral("saving.tmp"));
    {
        QFile edited(saving);
        ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
        edited.write("the file another program saved");
    }

    SilentView view;
    std::unique_ptr<ComparisonRun> run;
    std::unique_ptr<GroupPairWalk> groups;
    PairWalk* walk = nullptr;
    if (row.walk == Walk::Neighbours) {
        run = std::make_unique<ComparisonRun>(view, programFolder.path(), programFolder.path());
        run->start(folder.path());
        walk = run.get();
    } else {
        FinderResult result;
        result.filesExamined = 2;
        DuplicateGroup group;
        for (const QString& path : {keep, copy}) {
            FoundFile found;
            found.path = QFile::encodeName(path);
            found.identity = *plainFileIdentity(found.path.constData());
            found.type = QStringLiteral("BMP");
            group.files.push_back(found);
        }
        result.groups.push_back(group);
        groups = std::make_unique<GroupPairWalk>(view, result, folder.path() + QLatin1Char('/'),
            [](const QByteArray& path) { return QImage(QFile::decodeName(path)); });
        groups->start();
        walk = groups.get();
    }
    ASSERT_TRUE(walk->pairOnShow());
    ASSERT_EQ(walk->pathOf(Side::Right), copy);

    const QStringList trashedBefore = trashedFiles();
    SaveOverAfterPairCheck editor(*walk, copy, row.savedOver ? saving : QString());
    ScriptedDesktop desktop;
    CopyAction::apply(editor, Side::Right, row.row,
        {&desktop, nullptr, [&](const QString& text) { desktop.messages << text; }, {}});

    EXPECT_EQ(contentOf(keep), original) << "the copy that stays is never touched";
    EXPECT_EQ(
        QDir(folder.path()).entryList({QStringLiteral(".corvane-*")}, QDir::Files | QDir::Hidden),
        QStringList())
        << "no private name is left behind";
    const QStringList trashedNow = trashedFiles();
    if (row.savedOver) {
        ASSERT_TRUE(editor.savedOver());
        EXPECT_EQ(contentOf(copy), QByteArray("the file another program saved"));
        EXPECT_EQ(trashedNow, trashedBefore) << "nothing went to the trash";
        ASSERT_FALSE(desktop.messages.isEmpty());
        EXPECT_TRUE(
            desktop.messages.first().startsWith(copy + QStringLiteral(" was left as it is")))
            << desktop.messages.first().toStdString();
        // The action is refused: nothing counts as deleted.
        ASSERT_EQ(view.finishes.size(), 1u);
        EXPECT_EQ(view.finishes[0].deleted, 0);
    } else {
        EXPECT_FALSE(QFile::exists(copy));
        EXPECT_TRUE(desktop.messages.isEmpty());
        if (row.row == 0) {
            ASSERT_EQ(trashedNow.size(), trashedBefore.size() + 1);
            EXPECT_TRUE(trashedNow.contains(copyName));
            EXPECT_EQ(
                contentOf(TrashTestHome::dataHome() + QStringLiteral("/Trash/files/") + copyName),
                original);
        } else {
            EXPECT_EQ(trashedNow, trashedBefore);
        }
        ASSERT_EQ(view.finishes.size(), 1u);
        EXPECT_EQ(view.finishes[0].deleted, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWalk, CopyActionTrashTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
