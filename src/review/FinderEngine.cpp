// The window's whole-folder search engine: Corvane's search library, when
// the build has it (see CMakeLists.txt).
#include "review/WholeFolderSearch.h"

#include "finder/Finder.h"

WholeFolderSearch::Engine WholeFolderSearch::finderEngine()
{
    return [](const WholeFolderRequest& request, const std::atomic<bool>& stop,
               const Progress& progress) {
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
        return finder.run(&stop, progress);
    };
}
