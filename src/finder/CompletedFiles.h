#pragma once
// The files a stage's workers are done with, handed to the calling thread:
// there what was learned about them goes into the cache, in batches (at
// least every FinderOptions::cacheWriteEveryMs, so that a search that is
// killed keeps most of its work), and the stage's count goes out.

#include "finder/FileTable.h"
#include "finder/SearchContext.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace finder {

// What the cache keeps of a file this search learned about.
CachedFacts factsOf(const FileRecord& record);

class CompletedFiles {
public:
    CompletedFiles(SearchContext& context, FileTable& files);

    // On a worker: this file is done with the stage at hand.
    void complete(FileId id);
    // On the calling thread: keeps what the files done since the last call
    // taught, and reports the stage's count (base + done of base + total).
    void take(FinderProgress::Stage stage, std::int64_t total, std::int64_t base = 0);
    // A new stage counts from zero.
    void beginStage() { m_stageDone = 0; }

private:
    SearchContext& m_context;
    FileTable& m_files;
    std::mutex m_mutex;
    std::vector<FileId> m_completed;
    std::int64_t m_stageDone = 0;
    std::size_t m_pendingWrites = 0;
    std::chrono::steady_clock::time_point m_lastWrite = std::chrono::steady_clock::now();
};

} // namespace finder
