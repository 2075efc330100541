#pragma once
// Files with equal bytes need only one decode: the first file to claim a
// byte digest decodes it, the others take its result when it is published.

#include "finder/FileTable.h"
#include "finder/PixelFingerprint.h"
#include "similar/PhotoSignature.h"

#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace finder {

// What the decode of one file's bytes gave, handed to every file with the same bytes.
struct DecodeResult {
    bool ok = false;
    decoding::PictureType type = decoding::PictureType::Unknown;
    PixelFingerprint fingerprint;
    QString reason;
    // A failure of the moment (memory, a stop): nothing of it is kept.
    bool passing = false;
    std::optional<similar::PhotoSignature> signature;
};

// Writes a decode's result into a file's row.
void apply(FileRecord& record, const DecodeResult& result);

class SharedDecodes {
public:
    using Digest = std::array<std::uint8_t, 32>;
    enum class Claim { Decode, Wait, Taken };

    Claim claim(const Digest& bytes, FileId id, DecodeResult* result);
    // The files that waited for this result.
    std::vector<FileId> publish(const Digest& bytes, const DecodeResult& result);

private:
    struct Entry {
        bool pending = true;
        DecodeResult result;
        std::vector<FileId> waiters;
    };
    std::mutex m_mutex;
    std::map<Digest, Entry> m_entries;
};

} // namespace finder
