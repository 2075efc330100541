#pragma once
// Reads a listed file for the search, and makes sure it is still the file
// that was listed: opened without following a link, never waiting on a fifo,
// and with the same device, inode, size and change times before and after
// the read. Anything else is a clear reason, never a picture.

#include "decoding/DecodedPicture.h"
#include "finder/FinderResult.h"

namespace finder {

struct FileBytes {
    bool ok = false;
    QByteArray bytes;
    QString reason; // when not ok: "file vanished during the search", ...
    // The file's last change lies far enough back that no write of the same
    // moment can still follow unseen (see Finder's cache settle time).
    std::int64_t newestChangeNs = 0;
};

// The first maxBytes bytes (all of a shorter file).
FileBytes readFileStart(const QByteArray& path, const FileIdentity& listed, qint64 maxBytes);

// The whole file; files over the largest size any picture within the pixel
// budget needs are refused.
FileBytes readWholeFile(const QByteArray& path, const FileIdentity& listed);

// The bytes read, as the decoders take them.
inline decoding::Bytes bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())};
}

// Now, in nanoseconds since the epoch (the clock of file times).
std::int64_t wallClockNs();

} // namespace finder
