#include "BinaryFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace mirel {

namespace {
Failure openFailure(const std::string& path)
{
    const int err = errno;
    return {ErrorCodeFromErrno(err, ErrorCode::PathFileAccess), path + ": " + std::strerror(err)};
}
}  // namespace

BinaryFile::~BinaryFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

Failure BinaryFile::failure(ErrorCode fallback) const
{
    const int err = errno;
    return {ErrorCodeFromErrno(err, fallback), m_path + ": " + std::strerror(err)};
}

Failure BinaryFile::open(const std::string& path, int flags, BinaryFile& file)
{
    file = BinaryFile();
    if (path.empty())
        return {ErrorCode::BadFileName, "empty file name"};
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return openFailure(path);
    file.m_fd = fd;
    file.m_path = path;
    return {};
}

Failure BinaryFile::openForReading(const std::string& path, BinaryFile& file)
{
    return open(path, O_RDONLY | O_CREAT, file);
}

Failure BinaryFile::openExisting(const std::string& path, BinaryFile& file)
{
    return open(path, O_RDONLY, file);
}

Failure BinaryFile::createForWriting(const std::string& path, BinaryFile& file)
{
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, file);
}

bool BinaryFile::remove(const std::string& path)
{
    // Only files and links: a device, pipe or socket at the path is written to, never deleted.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        return false;
    return ::unlink(path.c_str()) == 0;
}

Failure BinaryFile::readSome(void* buffer, size_t count, size_t& got)
{
    got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        const ssize_t n = ::read(m_fd, out + got, count - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failure(ErrorCode::DeviceIo);
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return {};
}

Failure BinaryFile::readExact(void* buffer, size_t count)
{
    size_t got = 0;
    if (Failure f = readSome(buffer, count, got))
        return f;
    if (got < count)
        return {ErrorCode::InputPastEnd, m_path + ": the file ends too soon"};
    return {};
}

Failure BinaryFile::write(const void* buffer, size_t count)
{
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failure(ErrorCode::DeviceIo);
        }
        done += static_cast<size_t>(n);
    }
    return {};
}

Failure BinaryFile::seek(int64_t position)
{
    if (::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) < 0)
        return failure(ErrorCode::DeviceIo);
    return {};
}

int64_t BinaryFile::length() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

Failure BinaryFile::close()
{
    if (m_fd < 0)
        return {};
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && errno != EINTR)
        return failure(ErrorCode::DeviceIo);
    return {};
}

Failure ReadWholeFile(const std::string& path, std::string& data)
{
    data.clear();
    BinaryFile file;
    if (Failure f = BinaryFile::openExisting(path, file))
        return f;
    const int64_t size = file.length();
    try {
        if (size > 0)
            data.reserve(static_cast<size_t>(size));
        char buffer[64 * 1024];
        for (;;) {
            size_t got = 0;
            if (Failure f = file.readSome(buffer, sizeof buffer, got))
                return f;
            if (got == 0)
                break;
            data.append(buffer, got);
        }
    } catch (const std::bad_alloc&) {
        data.clear();
        return {ErrorCode::OutOfMemory, path + ": the file is too large to hold in memory"};
    }
    return file.close();
}

Failure WriteWholeFile(const std::string& path, const std::string& data)
{
    BinaryFile file;
    if (Failure f = BinaryFile::createForWriting(path, file))
        return f;
    if (Failure f = file.write(data.data(), data.size()))
        return f;
    return file.close();
}

}  // namespace mirel
