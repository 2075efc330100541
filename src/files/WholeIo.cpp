#include "files/WholeIo.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

int writeAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        size -= std::size_t(n);
    }
    return 0;
}

int writeAllAt(int fd, const void* data, std::size_t size, off_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        p += n;
        offset += n;
        size -= std::size_t(n);
    }
    return 0;
}

ssize_t readAt(int fd, void* data, std::size_t size, off_t offset)
{
    char* p = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, p + done, size - done, offset + off_t(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return ssize_t(done);
}

namespace {
constexpr std::size_t kChunk = 1 << 20;
}

int copyAll(int in, int out)
{
    std::vector<char> buffer(kChunk);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = readAt(in, buffer.data(), buffer.size(), offset);
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        if (const int err = writeAllAt(out, buffer.data(), std::size_t(n), offset))
            return err;
        offset += n;
    }
}

int compareAll(int a, int b)
{
    struct stat sa { };
    struct stat sb { };
    if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0)
        return errno;
    if (sa.st_size != sb.st_size)
        return -1;
    std::vector<char> bufferA(kChunk);
    std::vector<char> bufferB(kChunk);
    off_t offset = 0;
    for (;;) {
        const ssize_t na = readAt(a, bufferA.data(), bufferA.size(), offset);
        const ssize_t nb = readAt(b, bufferB.data(), bufferB.size(), offset);
        if (na < 0 || nb < 0)
            return errno;
        if (na != nb || std::memcmp(bufferA.data(), bufferB.data(), std::size_t(na)) != 0)
            return -1;
        if (na == 0)
            return 0;
        offset += na;
    }
}
