#include "finder/SearchStages.h"

namespace finder {

void takeCachedFacts(SearchContext& context, FileTable& files)
{
    context.store = openCacheStore(context.options, context.budget.total());
    context.cache = std::make_unique<FingerprintCache>(*context.store);
    std::vector<FileIdentity> identities;
    identities.reserve(files.size());
    for (const FileRecord& record : files)
        identities.push_back(record.identity);
    std::vector<std::optional<CachedFacts>> found;
    // A read that fails part-way leaves nothing found: no entry of a cache in
    // doubt is used.
    context.cache->lookUpAll(identities, &found);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!found[i])
            continue;
        FileRecord& record = files[i];
        const CachedFacts& facts = *found[i];
        record.fromCache = true;
        record.type = facts.type;
        record.width = facts.width;
        record.height = facts.height;
        record.frames = facts.frames;
        switch (facts.kind) {
        case CachedFacts::Kind::Header:
            record.state = FileState::HeaderKnown;
            break;
        case CachedFacts::Kind::Fingerprint:
            record.state = FileState::Fingerprinted;
            record.fingerprint = facts.fingerprint;
            break;
        case CachedFacts::Kind::Unreadable:
            record.state = FileState::Unreadable;
            record.reason = facts.reason;
            break;
        }
        ++context.stats.cacheHits;
    }
}

} // namespace finder
