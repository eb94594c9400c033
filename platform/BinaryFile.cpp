#include "BinaryFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <utility>
#include <vector>

namespace mirel {

namespace {
// The buffer of a copy by hand.
constexpr int64_t kCopySlice = 1 << 20;

// Moves up to count bytes with step(done, left), a read or write of the system's that returns
// what it moved, until all are moved or a step moves nothing; done receives how many. A step
// that a signal interrupts is taken again. False, with errno, when a step fails; a write that
// moves nothing is left to its caller (errno stays 0, which reads as a device error).
template <typename Step>
bool moveAll(size_t count, size_t& done, Step step)
{
    errno = 0;
    done = 0;
    while (done < count) {
        const ssize_t n = step(done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return true;
}

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

Failure BinaryFile::openExisting(const std::string& path, BinaryFile& file)
{
    return open(path, O_RDONLY, file);
}

std::string TemporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

Failure BinaryFile::createTemporary(const std::string& name, BinaryFile& file)
{
    file = BinaryFile();
    const std::string folder = TemporaryFolder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Where the file system cannot make a file without a name, one is made and unnamed at once.
        std::string pattern = folder + "/mirel.XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0)
            return openFailure(folder);
        ::unlink(pattern.c_str());
    }
    file.m_fd = fd;
    file.m_path = name;
    return {};
}

Failure BinaryFile::openStream(int descriptor, const std::string& name, BinaryFile& file)
{
    file = BinaryFile();
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        return {ErrorCode::BadFileName, name + ": " + std::strerror(errno)};
    file.m_fd = fd;
    file.m_path = name;
    return {};
}

Failure BinaryFile::readSome(void* buffer, size_t count, size_t& got)
{
    auto* out = static_cast<char*>(buffer);
    if (!moveAll(count, got, [&](size_t done, size_t left) { return ::read(m_fd, out + done, left); }))
        return failure(ErrorCode::DeviceIo);
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
    if (!moveAll(count, done, [&](size_t at, size_t left) { return ::write(m_fd, in + at, left); }) || done < count)
        return failure(ErrorCode::DeviceIo);
    return {};
}

Failure BinaryFile::copyTo(BinaryFile& destination, int64_t count, int64_t position)
{
    struct stat st {};
    bool kernel = ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode);
    const bool placed = position >= 0;
    loff_t in = position;
    loff_t out = position;
    std::vector<char> buffer;
    while (count > 0) {
        if (kernel) {
            const ssize_t n = ::copy_file_range(m_fd, placed ? &in : nullptr, destination.m_fd, placed ? &out : nullptr,
                                                static_cast<size_t>(count), 0);
            if (n > 0) {
                count -= n;
                continue;
            }
            if (n == 0)
                return {ErrorCode::InputPastEnd, m_path + ": the file ends too soon"};
            const int err = errno;
            if (err == EINTR)
                continue;
            if (err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO)
                return destination.failure(ErrorCode::DeviceIo);
            // Not between these two files, on this kernel or file system: copy by hand.
            kernel = false;
            continue;
        }
        if (buffer.empty())
            buffer.resize(kCopySlice);
        const auto want = static_cast<size_t>(std::min<int64_t>(count, kCopySlice));
        size_t got = want;
        if (Failure f = placed ? readAt(in, buffer.data(), want) : readSome(buffer.data(), want, got))
            return f;
        if (got == 0)
            return {ErrorCode::InputPastEnd, m_path + ": the file ends too soon"};
        if (Failure f = placed ? destination.writeAt(out, buffer.data(), got) : destination.write(buffer.data(), got))
            return f;
        in += static_cast<loff_t>(got);
        out += static_cast<loff_t>(got);
        count -= static_cast<int64_t>(got);
    }
    return {};
}

Failure BinaryFile::readAt(int64_t position, void* buffer, size_t count)
{
    auto* out = static_cast<char*>(buffer);
    size_t got = 0;
    if (!moveAll(count, got, [&](size_t done, size_t left) {
            return ::pread(m_fd, out + done, left, static_cast<off_t>(position + int64_t(done)));
        }))
        return failure(ErrorCode::DeviceIo);
    if (got < count)
        return {ErrorCode::InputPastEnd, m_path + ": the file ends too soon"};
    return {};
}

Failure BinaryFile::writeAt(int64_t position, const void* buffer, size_t count)
{
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    if (!moveAll(count, done, [&](size_t at, size_t left) {
            return ::pwrite(m_fd, in + at, left, static_cast<off_t>(position + int64_t(at)));
        }) ||
        done < count)
        return failure(ErrorCode::DeviceIo);
    return {};
}

Failure BinaryFile::resize(int64_t length)
{
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0)
        return failure(ErrorCode::DeviceIo);
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
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
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

}  // namespace mirel
