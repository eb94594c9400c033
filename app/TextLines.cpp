#include "TextLines.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace mirel {

void LineSplitter::feed(std::string_view chunk, const Sink& sink)
{
    size_t start = 0;
    for (size_t k = 0; k < chunk.size(); ++k) {
        const char ch = chunk[k];
        if (m_afterCr) {
            m_afterCr = false;
            if (ch == '\n') {
                start = k + 1;
                continue;
            }
        }
        if (ch == '\r') {
            m_line.append(chunk.substr(start, k - start));
            sink(m_line);
            m_line.clear();
            m_pending = false;
            m_afterCr = true;
            start = k + 1;
        }
    }
    if (start < chunk.size()) {
        m_line.append(chunk.substr(start));
        m_pending = true;
    }
}

void LineSplitter::finish(const Sink& sink)
{
    if (m_pending)
        sink(m_line);
    m_line.clear();
    m_pending = false;
    m_afterCr = false;
}

Failure ReadTextLines(const std::string& path, const LineSplitter::Sink& sink)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return {ErrorCodeFromErrno(err, ErrorCode::PathFileAccess), path + ": " + std::strerror(err)};
    }
    LineSplitter splitter;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            return {ErrorCodeFromErrno(err, ErrorCode::DeviceIo), path + ": " + std::strerror(err)};
        }
        if (got == 0)
            break;
        splitter.feed(std::string_view(buffer, static_cast<size_t>(got)), sink);
    }
    ::close(fd);
    splitter.finish(sink);
    return {};
}

}  // namespace mirel
