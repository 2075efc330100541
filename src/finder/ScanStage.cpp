#include "finder/FolderScan.h"
#include "finder/SearchFilters.h"
#include "finder/SearchStages.h"

namespace finder {

void scanFiles(SearchContext& context, FileTable& files, FinderResult& result)
{
    const FinderOptions& options = context.options;
    for (const QByteArray& folder : options.folders)
        result.folders.append(absoluteFolder(folder));
    context.report(FinderProgress::Stage::Scanning, 0, 0);
    ScanLimits limits;
    limits.excludes = ExcludePatterns(options.excludes);
    limits.minimumSize = options.minimumSize;
    ScanOutcome scan = scanFolders(
        options.folders, options.recursive, context.stop,
        [&](std::int64_t found) { context.report(FinderProgress::Stage::Scanning, found, 0); },
        options.anyName, limits);
    result.unreadable = std::move(scan.unreadableFolders);
    result.filesNotExamined = scan.otherNames + scan.smallFiles;
    result.filesTooSmall = scan.smallFiles;
    files.reserve(scan.files.size());
    for (ScannedFile& file : scan.files) {
        FileRecord record;
        record.path = std::move(file.path);
        record.identity = file.identity;
        record.pictureName = file.pictureName;
        files.push_back(std::move(record));
    }
    scan.files.clear();
    scan.files.shrink_to_fit();
    context.stats.filesListed = std::int64_t(files.size());
}

} // namespace finder
