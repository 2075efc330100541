#include "search/ScratchTurn.h"

#include "SecondProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QStringList tickets(const QString& folder)
{
    return QDir(folder).entryList({QLatin1String(ScratchTurn::kTicketPrefix) + QLatin1Char('*')},
        QDir::Files | QDir::Hidden | QDir::System);
}

// Polls as the converter client does, every 50 ms, until the answer is not Waiting.
ScratchTurn::State waitForTurn(ScratchTurn& turn)
{
    ScratchTurn::State state;
    while ((state = turn.poll()) == ScratchTurn::State::Waiting)
        ::usleep(50000);
    return state;
}

} // namespace

TEST(ScratchTurn, ASecondTurnInOneProcessIsRefusedAtOnce)
{
    // While one use waits or holds, another from an event-loop turn of the
    // same process could only wait for it forever.
    QTemporaryDir scratch;
    SecondProcess other(
        [&](int report) { SecondProcess::holdFor(scratch.path(), 3000, true, report); });
    ASSERT_EQ(other.nextReport(), 'h');
    ScratchTurn outer(scratch.path());
    EXPECT_EQ(outer.poll(), ScratchTurn::State::Waiting);
    {
        ScratchTurn inner(scratch.path());
        EXPECT_EQ(inner.poll(), ScratchTurn::State::Nested);
    }
    EXPECT_EQ(waitForTurn(outer), ScratchTurn::State::Held);
    {
        ScratchTurn inner(scratch.path() + QStringLiteral("/."));
        EXPECT_EQ(inner.poll(), ScratchTurn::State::Nested) << "the same folder by another path";
    }
    outer.release();
    EXPECT_EQ(other.exitCode(), 0);

    ScratchTurn again(scratch.path());
    EXPECT_EQ(again.poll(), ScratchTurn::State::Held);
    again.release();
    EXPECT_TRUE(tickets(scratch.path()).isEmpty());

    ScratchTurn missing(scratch.path() + QStringLiteral("/missing"));
    EXPECT_EQ(missing.poll(), ScratchTurn::State::Unusable);
}

TEST(ScratchTurn, TheTicketOfAProcessThatDiedNeitherBlocksNorStays)
{
    // A process queues behind another and dies while it waits.
    QTemporaryDir scratch;
    SecondProcess holder(
        [&](int report) { SecondProcess::holdFor(scratch.path(), 800, true, report); });
    ASSERT_EQ(holder.nextReport(), 'h');
    SecondProcess dies([&](int report) {
        auto* turn = new ScratchTurn(scratch.path());
        if (turn->poll() != ScratchTurn::State::Waiting)
            ::_exit(2);
        SecondProcess::tell(report, 'w');
        ::_exit(0); // no release: the kernel drops the locks, the ticket file stays
    });
    ASSERT_EQ(dies.nextReport(), 'w');
    ASSERT_EQ(dies.exitCode(), 0);
    ASSERT_EQ(holder.exitCode(), 0);
    const QStringList left = tickets(scratch.path());
    ASSERT_EQ(left.size(), 1);

    ScratchTurn fresh(scratch.path());
    EXPECT_EQ(fresh.poll(), ScratchTurn::State::Held);
    fresh.release();
    EXPECT_EQ(tickets(scratch.path()), left) << "a young unlocked ticket may be one being made";

    // An old one is cleared by the next process that looks.
    const QByteArray path = QFile::encodeName(scratch.filePath(left.first()));
    const timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), old, 0), 0);
    ScratchTurn later(scratch.path());
    EXPECT_EQ(later.poll(), ScratchTurn::State::Held);
    later.release();
    EXPECT_TRUE(tickets(scratch.path()).isEmpty());
}

TEST(ScratchTurn, AHolderIsWaitedForWhileItWorksAndGivenUpWhenItStops)
{
    struct Row {
        const char* name;
        bool working;
        ScratchTurn::State outcome;
    };
    const Row rows[] = {
        {"holder marks its ticket", true, ScratchTurn::State::Held},
        {"holder stopped working", false, ScratchTurn::State::Stalled},
    };
    constexpr qint64 kStall = 2500;
    for (const Row& row : rows) {
        QTemporaryDir scratch;
        // Holds for twice the stall limit.
        SecondProcess other([&](int report) {
            SecondProcess::holdFor(scratch.path(), 2 * kStall, row.working, report);
        });
        ASSERT_EQ(other.nextReport(), 'h') << row.name;
        ScratchTurn mine(scratch.path(), kStall);
        EXPECT_EQ(waitForTurn(mine), row.outcome) << row.name;
        mine.release();
        EXPECT_EQ(other.exitCode(), 0) << row.name;
    }
}

TEST(ScratchTurn, AProcessThatTakesTheFolderAgainAndAgainCannotShutOutAnother)
{
    // The other process converts picture after picture: it gives the folder
    // back and asks again at once, until this test is done or 60 s have passed.
    QTemporaryDir scratch;
    const QString done = scratch.filePath(QStringLiteral("done"));
    SecondProcess busy([&](int report) {
        QElapsedTimer running;
        running.start();
        bool told = false;
        while (!QFile::exists(done)) {
            if (running.elapsed() > 60000)
                ::_exit(4);
            ScratchTurn turn(scratch.path());
            SecondProcess::takeTurn(turn);
            if (!told) {
                SecondProcess::tell(report, 'h');
                told = true;
            }
            ::usleep(30000);
        }
    });
    ASSERT_EQ(busy.nextReport(), 'h');
    for (int i = 0; i < 10; ++i) {
        ScratchTurn turn(scratch.path());
        ASSERT_EQ(waitForTurn(turn), ScratchTurn::State::Held) << "turn " << i;
        ::usleep(10000);
    }
    QFile(done).open(QIODevice::WriteOnly);
    EXPECT_EQ(busy.exitCode(), 0) << "the other process was still taking turns throughout";
    EXPECT_TRUE(tickets(scratch.path()).isEmpty());
}
