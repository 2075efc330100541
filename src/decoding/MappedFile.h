#pragma once
// A picture file's bytes for the decoders. Opens regular files only, never
// through a symbolic link in the last component (O_NOFOLLOW) and never
// waiting on a FIFO or device (O_NONBLOCK, then refused).
//
// Two ways to hold the bytes:
// - Read (the default): read() into memory the object owns. Safe anywhere:
//   a file cut short by another program meanwhile gives a short read, which
//   is reported, never a crash.
// - Map: mmap, read-only. No copy; but should another program shorten the
//   file while it is mapped, touching the lost pages raises SIGBUS. Only a
//   process that turns SIGBUS into a clean end (the converter does) may
//   use it.

#include "decoding/DecodedPicture.h"

#include <cstdint>
#include <memory>
#include <string>

namespace decoding {

class MappedFile {
public:
    enum class Access { Read, Map };

    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens and holds `path` (bytes as the file system has them). On failure
    // ok() is false and error() says why; errorNumber() holds errno (0 for a
    // file that is not a regular file or changed size while read).
    static MappedFile open(const std::string& path, Access access = Access::Read);

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    int errorNumber() const { return m_errno; }

    Bytes bytes() const { return {m_data, m_size}; }
    std::uint64_t size() const { return m_size; }
    // Identity of the file read, for callers that check it did not change.
    std::uint64_t device() const { return m_device; }
    std::uint64_t inode() const { return m_inode; }

private:
    void release();

    bool m_ok = false;
    std::string m_error;
    int m_errno = 0;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_mapped = false;
    std::unique_ptr<std::uint8_t[]> m_buffer; // when read, not mapped
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
};

} // namespace decoding
