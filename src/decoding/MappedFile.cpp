#include "decoding/MappedFile.h"

#include "files/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace decoding {

MappedFile::~MappedFile()
{
    release();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
{
    *this = std::move(other);
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this == &other)
        return *this;
    release();
    m_ok = other.m_ok;
    m_error = std::move(other.m_error);
    m_errno = other.m_errno;
    m_size = other.m_size;
    m_mapped = other.m_mapped;
    m_buffer = std::move(other.m_buffer);
    m_data = other.m_data;
    m_device = other.m_device;
    m_inode = other.m_inode;
    other.m_data = nullptr;
    other.m_size = 0;
    other.m_mapped = false;
    other.m_ok = false;
    return *this;
}

void MappedFile::release()
{
    if (m_mapped && m_data)
        ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
    m_mapped = false;
    m_data = nullptr;
    m_size = 0;
    m_buffer.reset();
}

MappedFile MappedFile::open(const std::string& path, Access access)
{
    MappedFile file;
    auto fail = [&file](std::string why, int number) {
        file.m_error = std::move(why);
        file.m_errno = number;
        return std::move(file);
    };
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int number = errno;
        return fail(
            number == ELOOP ? "a symbolic link, not a file" : std::strerror(number), number);
    }
    struct stat status { };
    if (::fstat(fd.get(), &status) != 0) {
        const int number = errno;
        return fail(std::strerror(number), number);
    }
    if (!S_ISREG(status.st_mode))
        return fail("not a regular file", 0);
    if (std::uint64_t(status.st_size) > std::uint64_t(SIZE_MAX / 2))
        return fail("too large to read", EFBIG);
    file.m_device = std::uint64_t(status.st_dev);
    file.m_inode = std::uint64_t(status.st_ino);
    const std::size_t size = std::size_t(status.st_size);

    if (access == Access::Map && size > 0) {
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (mapped != MAP_FAILED) {
            ::madvise(mapped, size, MADV_SEQUENTIAL | MADV_WILLNEED);
            file.m_data = static_cast<const std::uint8_t*>(mapped);
            file.m_size = size;
            file.m_mapped = true;
            file.m_ok = true;
            return file;
        }
        // A file system that cannot map: read it instead.
    }

    // One more byte than the file's size: a file that grew meanwhile shows
    // as a longer read. Left uninitialised: read() fills it.
    const std::size_t capacity = size + 1;
    file.m_buffer.reset(new (std::nothrow) std::uint8_t[capacity]);
    if (!file.m_buffer)
        return fail("not enough memory to read the file", ENOMEM);
    std::size_t done = 0;
    while (done < capacity) {
        const ssize_t n = ::read(fd.get(), file.m_buffer.get() + done, capacity - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int number = errno;
            file.m_buffer.reset();
            return fail(std::strerror(number), number);
        }
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    if (done != size) {
        file.m_buffer.reset();
        return fail("the file changed size while it was read", 0);
    }
    file.m_data = file.m_buffer.get();
    file.m_size = size;
    file.m_ok = true;
    return file;
}

} // namespace decoding
