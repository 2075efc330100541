// The review window's two numbers: opening the list of 1,000 groups (goal
// under a second) and a marking rule over 10,000 groups (goal under 100 ms).
// Each has its floor beside it: a bare QTreeView over a QStandardItemModel
// with the same rows (what any Qt list of these rows costs to lay out and
// paint), and a plain loop that finds each group's oldest file and writes the
// marks (no undo step, no status). Scrolling a page of the open list is
// measured the same way against the bare tree.
//
// With CORVANE_BENCH_PHOTOS naming a folder of photos, also the warm search
// in the window after Put back: a copy of that folder searched once (the
// cache is warm), one copy of every group sent to the trash and put back as
// the window does it, then timed: the search again and the review window up
// to its first paint. Arg 1 lets the cache carry the put back files over (as
// the window does), Arg 0 does not (what it cost before). scripts/bench sets
// that variable, a scratch cache and a scratch trash.
#include "finder/Finder.h"
#include "handling/FileActions.h"
#include "review/PutBack.h"
#include "review/ReviewModel.h"
#include "review/frmReview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

// groups x 3 files; the paths do not exist, so the small pictures fail fast
// and the measure is the list itself.
FinderResult generatedResult(int groups)
{
    FinderResult result;
    result.folders = {"/photos"};
    for (int g = 0; g < groups; ++g) {
        DuplicateGroup group;
        group.width = 4000;
        group.height = 3000;
        for (int f = 0; f < 3; ++f) {
            FoundFile file;
            file.path = "/photos/" + QByteArray::number(g % 97) + "/picture_"
                + QByteArray::number(g) + "_" + QByteArray::number(f) + ".jpg";
            file.identity.size = 3'000'000 + g;
            file.identity.modifiedNs
                = std::int64_t(1'600'000'000 + (g * 7 + f * 13) % 1000) * 1'000'000'000;
            file.type = QStringLiteral("JPEG");
            group.files.push_back(file);
        }
        result.groups.push_back(group);
    }
    return result;
}

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void BM_ReviewListOpens(benchmark::State& state)
{
    const FinderResult result = generatedResult(int(state.range(0)));
    for (auto _ : state) {
        frmReview window(result);
        window.resize(1000, 700);
        window.show();
        settle();
        benchmark::DoNotOptimize(window.grab()); // laid out and painted
        state.PauseTiming();
        window.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReviewListOpens)->Arg(1000)->Unit(benchmark::kMillisecond);

std::unique_ptr<QStandardItemModel> bareModel(const FinderResult& result)
{
    auto model = std::make_unique<QStandardItemModel>();
    for (const DuplicateGroup& group : result.groups) {
        auto* groupRow = new QStandardItem(QStringLiteral("3 copies, 4000 x 3000"));
        for (const FoundFile& f : group.files) {
            QList<QStandardItem*> row;
            row << new QStandardItem(QString::fromUtf8(f.path.mid(8)))
                << new QStandardItem(QString::number(f.identity.size)) << new QStandardItem(f.type)
                << new QStandardItem(QStringLiteral("2020-09-13 12:26:40"))
                << new QStandardItem(QStringLiteral("stays"));
            groupRow->appendRow(row);
        }
        model->appendRow(groupRow);
    }
    return model;
}

void BM_BareTreeOpens(benchmark::State& state)
{
    const FinderResult result = generatedResult(int(state.range(0)));
    for (auto _ : state) {
        const std::unique_ptr<QStandardItemModel> model = bareModel(result);
        QTreeView view;
        view.setModel(model.get());
        view.expandAll();
        view.resize(1000, 700);
        view.show();
        settle();
        benchmark::DoNotOptimize(view.grab());
        state.PauseTiming();
        view.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareTreeOpens)->Arg(1000)->Unit(benchmark::kMillisecond);

void scrollPages(benchmark::State& state, QAbstractScrollArea& area, QWidget& top)
{
    QScrollBar* bar = area.verticalScrollBar();
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum())
            next = 0;
        bar->setValue(next);
        settle();
        benchmark::DoNotOptimize(top.grab());
    }
}

void BM_ReviewListScrollPage(benchmark::State& state)
{
    frmReview window(generatedResult(int(state.range(0))));
    window.resize(1000, 700);
    window.show();
    settle();
    scrollPages(state, *window.lstGroups(), window);
}
BENCHMARK(BM_ReviewListScrollPage)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_BareTreeScrollPage(benchmark::State& state)
{
    const std::unique_ptr<QStandardItemModel> model
        = bareModel(generatedResult(int(state.range(0))));
    QTreeView view;
    view.setModel(model.get());
    view.expandAll();
    view.resize(1000, 700);
    view.show();
    settle();
    scrollPages(state, view, view);
}
BENCHMARK(BM_BareTreeScrollPage)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_RuleOverGroups(benchmark::State& state)
{
    ReviewModel model(generatedResult(int(state.range(0))));
    const MarkingRule rules[] = {MarkingRule::KeepOldest, MarkingRule::KeepNewest};
    int n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(model.applyRule(rules[n++ % 2]).groupsChanged);
}
BENCHMARK(BM_RuleOverGroups)->Arg(10000)->Unit(benchmark::kMillisecond);

// The floor: the oldest of each group found in plain arrays, marks written.
void BM_RuleFloor(benchmark::State& state)
{
    const FinderResult result = generatedResult(int(state.range(0)));
    std::vector<std::vector<std::int64_t>> times;
    for (const DuplicateGroup& g : result.groups) {
        times.emplace_back();
        for (const FoundFile& f : g.files)
            times.back().push_back(f.identity.modifiedNs);
    }
    std::vector<char> marks(result.groups.size() * 3);
    for (auto _ : state) {
        size_t at = 0;
        for (const std::vector<std::int64_t>& group : times) {
            size_t keep = 0;
            for (size_t i = 1; i < group.size(); ++i)
                if (group[i] < group[keep])
                    keep = i;
            for (size_t i = 0; i < group.size(); ++i)
                marks[at + i] = i == keep ? 0 : 1;
            at += group.size();
        }
        benchmark::DoNotOptimize(marks.data());
    }
}
BENCHMARK(BM_RuleFloor)->Arg(10000)->Unit(benchmark::kMillisecond);

FinderOptions photoSearch(const QString& folder)
{
    FinderOptions options; // the window's: default cache, whole folder with subfolders
    options.folders = {QFile::encodeName(folder)};
    options.recursive = true;
    return options;
}

void BM_WarmSearchAfterPutBack(benchmark::State& state)
{
    const QString source = qEnvironmentVariable("CORVANE_BENCH_PHOTOS");
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/corvane-warm-XXXXXX"));
    const QString folder = work.path() + QStringLiteral("/photos");
    if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), source, folder}) != 0) {
        state.SkipWithError("cannot copy the photo folder");
        return;
    }
    // Facts about files written moments ago are not kept: let them settle.
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    const FinderOptions options = photoSearch(folder);
    FinderResult result = Finder(options).run();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<PutBack::Acted> acted;
        for (const DuplicateGroup& group : result.groups) {
            const FoundFile& last = group.files.back();
            struct stat st { };
            if (::lstat(last.path.constData(), &st) != 0)
                continue;
            QString error;
            if (FileActions::RecycleFile(QFile::decodeName(last.path), &error))
                acted.push_back({int(acted.size()), last.path, identityOf(st)});
        }
        PutBack putBack = PutBack::afterTrash(acted, PutBack::homeTrash());
        const PutBack::Outcome outcome = putBack.run();
        if (state.range(0) == 1)
            carryOverRenamedFiles(FinderOptions(), outcome.renamed);
        state.ResumeTiming();
        Finder finder(options);
        result = finder.run();
        auto window = std::make_unique<frmReview>(result);
        window->resize(1000, 700);
        window->show();
        settle();
        benchmark::DoNotOptimize(window->grab()); // laid out and painted
        state.PauseTiming();
        state.counters["decoded"] = double(finder.stats().decoded);
        state.counters["groups"] = double(result.groups.size());
        // Closing waits for a small picture in the making: not part of opening.
        window.reset();
        state.ResumeTiming();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window keeps its size in the settings file: not the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    if (!qEnvironmentVariableIsEmpty("CORVANE_BENCH_PHOTOS")) {
        benchmark::RegisterBenchmark("BM_WarmSearchAfterPutBack", BM_WarmSearchAfterPutBack)
            ->Arg(1)
            ->Arg(0)
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
