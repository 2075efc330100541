#include "finder/SharedDecodes.h"

namespace finder {

void apply(FileRecord& record, const DecodeResult& result)
{
    if (result.ok) {
        record.state = FileState::Fingerprinted;
        record.type = result.type;
        record.fingerprint = result.fingerprint;
        record.width = result.fingerprint.width;
        record.height = result.fingerprint.height;
        record.frames = result.fingerprint.frames;
        record.signature = result.signature;
    } else {
        record.state = FileState::Unreadable;
        if (result.type != decoding::PictureType::Unknown)
            record.type = result.type;
        record.reason = result.reason;
    }
}

SharedDecodes::Claim SharedDecodes::claim(const Digest& bytes, FileId id, DecodeResult* result)
{
    std::lock_guard lock(m_mutex);
    auto [entry, added] = m_entries.try_emplace(bytes);
    if (added)
        return Claim::Decode;
    if (!entry->second.pending) {
        *result = entry->second.result;
        return Claim::Taken;
    }
    entry->second.waiters.push_back(id);
    return Claim::Wait;
}

std::vector<FileId> SharedDecodes::publish(const Digest& bytes, const DecodeResult& result)
{
    std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[bytes];
    entry.pending = false;
    entry.result = result;
    return std::move(entry.waiters);
}

} // namespace finder
