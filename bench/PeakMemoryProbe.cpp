// Peak memory of a headless search: run under /usr/bin/time -v by
// scripts/bench, once over a folder of 24-megapixel duplicate pairs and once
// without a folder (the baseline: the same program doing nothing). Every pair
// shown is answered by dismissing the right copy, so no file is touched.
//
// Usage: PeakMemoryProbe [folder]
#include "HeadlessView.h"
#include "search/ComparisonRun.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    HeadlessView view;
    ComparisonRun run(view, QStringLiteral(CORVANE_BIN_DIR), scratch.path());
    if (argc > 1) {
        run.start(QString::fromLocal8Bit(argv[1]));
        while (run.pairOnShow())
            run.actOn(Side::Right, ComparisonRun::ActOutcome::EntryRemoved);
        if (!view.finished) {
            fprintf(stderr, "the search did not finish\n");
            return 1;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // Without the converter's processes, which /usr/bin/time also counts.
    printf("pairs_shown %d\nself_max_rss_kib %ld\n", view.pairs, usage.ru_maxrss);
    return 0;
}
