#pragma once

#include "ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace mirel {

// A file opened for one operation and closed when the object goes (or by close(), which reports
// what the system says about the last writes). Every failure names the file and the reason.
class BinaryFile {
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    // Opens path for reading from its first byte. When nothing exists at path, an empty file is
    // created there first, as the codec has always done.
    static Failure openForReading(const std::string& path, BinaryFile& file);
    // Opens an existing file for reading; a missing one is a failure.
    static Failure openExisting(const std::string& path, BinaryFile& file);
    // Creates path (or empties an existing file) and opens it for writing from its first byte.
    static Failure createForWriting(const std::string& path, BinaryFile& file);
    // Deletes the file (or link) at path; anything else there, such as a device, is left alone.
    // The result can be ignored by the caller.
    static bool remove(const std::string& path);

    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Reads up to count bytes; got receives how many (fewer only at the end of the file).
    Failure readSome(void* buffer, size_t count, size_t& got);
    // Reads exactly count bytes; a file that ends sooner fails with InputPastEnd.
    Failure readExact(void* buffer, size_t count);
    Failure write(const void* buffer, size_t count);
    // Moves to byte position from the start of the file.
    Failure seek(int64_t position);
    // Length of the file in bytes, or -1 when the system cannot tell.
    int64_t length() const;
    Failure close();

private:
    Failure failure(ErrorCode fallback) const;
    static Failure open(const std::string& path, int flags, BinaryFile& file);

    int m_fd = -1;
    std::string m_path;
};

// Reads the whole file at path into data (which is replaced). Does not create a missing file.
Failure ReadWholeFile(const std::string& path, std::string& data);
// Writes data as the whole content of the file at path, replacing what it held.
Failure WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace mirel
