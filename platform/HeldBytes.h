#pragma once

// Bytes that are made a slice at a time and may be more than memory should hold, such as what an
// opened box inflates to: up to kMostInMemory bytes they are held in memory; past that all of them
// go to a file without a name in the temporary folder, mapped to be read, so that the system can
// page them out instead of holding them.

#include "BinaryFile.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace mirel {

class HeldBytes {
public:
    static constexpr size_t kMostInMemory = size_t(64) << 20;

    HeldBytes() = default;
    HeldBytes(std::string&& bytes) : m_memory(std::move(bytes)) {}  // NOLINT: a string is held as it is
    HeldBytes& operator=(std::string&& bytes);
    ~HeldBytes();
    HeldBytes(HeldBytes&& other) noexcept;
    HeldBytes& operator=(HeldBytes&& other) noexcept;
    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;

    // Adds size bytes at the end; fails when the temporary folder cannot take them. Call finish()
    // after the last slice.
    Failure append(const char* data, size_t size);
    // Ends the appending: from now on view() shows every byte. Fails when the file cannot be mapped.
    Failure finish();

    std::string_view view() const;
    size_t size() const { return m_map ? m_mapped : m_memory.size(); }
    bool empty() const { return size() == 0; }
    // The bytes as a string of their own: moved out when held in memory, copied from the file
    // otherwise. Empties this.
    std::string take();
    // Overwrites what memory held, and lets the rest go.
    void wipe();

private:
    std::string m_memory;
    BinaryFile m_file;  // open once the bytes went past kMostInMemory
    size_t m_written = 0;
    void* m_map = nullptr;
    size_t m_mapped = 0;
};

}  // namespace mirel
