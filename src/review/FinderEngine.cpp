// The window's whole-folder search engine: Corvane's search library, when
// the build has it (see CMakeLists.txt).
#include "review/WholeFolderSearch.h"

#include "finder/Finder.h"

WholeFolderSearch::Engine WholeFolderSearch::finderEngine()
{
    return [](const WholeFolderRequest& request, const std::atomic<bool>& stop,
               const std::function<void(std::int64_t, std::int64_t)>& progress) {
        FinderOptions options;
        options.folders = QList<QByteArray>{request.folder} + request.moreFolders;
        options.protectedFolders = request.protectedFolders;
        options.excludes = request.excludes;
        options.minimumSize = request.minimumSize;
        options.recursive = request.recursive;
        options.samePhoto = request.samePhoto;
        // Groups judged not duplicates stay out, as in corvane-find.
        options.useIgnoreList = true;
        Finder finder(options);
        // One bar over the stages: reading headers is quick, decoding is
        // where the time goes. Reported in thousandths.
        return finder.run(&stop, [&progress](const FinderProgress& p) {
            double fraction = 0;
            switch (p.stage) {
            case FinderProgress::Stage::Scanning:
                return;
            case FinderProgress::Stage::ReadingHeaders:
                fraction = p.total > 0 ? 0.2 * double(p.done) / double(p.total) : 0;
                break;
            case FinderProgress::Stage::Decoding:
                fraction = 0.2 + (p.total > 0 ? 0.8 * double(p.done) / double(p.total) : 0);
                break;
            case FinderProgress::Stage::Finished:
                fraction = 1;
                break;
            }
            progress(std::int64_t(fraction * 1000), 1000);
        });
    };
}
