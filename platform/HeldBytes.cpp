// Bytes held in memory, or in a mapped file without a name when there are many of them.
#include "HeldBytes.h"

#include <cerrno>
#include <cstring>
#include <string.h>
#include <sys/mman.h>
#include <utility>

namespace mirel {

HeldBytes& HeldBytes::operator=(std::string&& bytes)
{
    wipe();
    m_memory = std::move(bytes);
    return *this;
}

HeldBytes::~HeldBytes()
{
    wipe();
}

HeldBytes::HeldBytes(HeldBytes&& other) noexcept
    : m_memory(std::move(other.m_memory)), m_file(std::move(other.m_file)),
      m_written(std::exchange(other.m_written, 0)), m_map(std::exchange(other.m_map, nullptr)),
      m_mapped(std::exchange(other.m_mapped, 0))
{
    other.m_memory.clear();
}

HeldBytes& HeldBytes::operator=(HeldBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        m_memory = std::move(other.m_memory);
        other.m_memory.clear();
        m_file = std::move(other.m_file);
        m_written = std::exchange(other.m_written, 0);
        m_map = std::exchange(other.m_map, nullptr);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

Failure HeldBytes::append(const char* data, size_t size)
{
    if (!m_file.isOpen() && m_memory.size() + size <= kMostInMemory) {
        m_memory.append(data, size);
        return {};
    }
    if (!m_file.isOpen()) {
        if (Failure f = BinaryFile::createTemporary("the bytes held aside", m_file))
            return f;
        if (Failure f = m_file.write(m_memory.data(), m_memory.size()))
            return f;
        m_written = m_memory.size();
        explicit_bzero(m_memory.data(), m_memory.size());
        m_memory = std::string();
    }
    if (Failure f = m_file.write(data, size))
        return f;
    m_written += size;
    return {};
}

Failure HeldBytes::finish()
{
    if (!m_file.isOpen() || m_map || m_written == 0)
        return {};
    void* map = ::mmap(nullptr, m_written, PROT_READ, MAP_SHARED, m_file.descriptor(), 0);
    if (map == MAP_FAILED)
        return {ErrorCode::OutOfMemory, std::string("cannot map the bytes held aside: ") + std::strerror(errno)};
    ::madvise(map, m_written, MADV_SEQUENTIAL);
    m_map = map;
    m_mapped = m_written;
    return {};
}

std::string_view HeldBytes::view() const
{
    if (m_map)
        return {static_cast<const char*>(m_map), m_mapped};
    return m_memory;
}

std::string HeldBytes::take()
{
    std::string bytes = m_map ? std::string(view()) : std::move(m_memory);
    m_memory.clear();
    wipe();
    return bytes;
}

void HeldBytes::wipe()
{
    if (!m_memory.empty())
        explicit_bzero(m_memory.data(), m_memory.size());
    m_memory.clear();
    if (m_map)
        ::munmap(m_map, m_mapped);
    m_map = nullptr;
    m_mapped = 0;
    m_written = 0;
    // The file has no name: it goes with its last descriptor, its blocks with it.
    m_file.close();
}

}  // namespace mirel
