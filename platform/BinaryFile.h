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

    // Opens an existing file for reading from its first byte; nothing is ever created. A missing
    // one (also behind a dangling link) fails with FileNotFound.
    static Failure openExisting(const std::string& path, BinaryFile& file);
    // Makes an empty scratch file in the temporary folder ($TMPDIR, else /tmp), open for writing
    // and reading, that has no name and goes when it is closed. name is what messages call it.
    static Failure createTemporary(const std::string& name, BinaryFile& file);

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Reads up to count bytes; got receives how many (fewer only at the end of the file).
    Failure readSome(void* buffer, size_t count, size_t& got);
    // Reads exactly count bytes; a file that ends sooner fails with InputPastEnd.
    Failure readExact(void* buffer, size_t count);
    Failure write(const void* buffer, size_t count);
    // Copies count bytes from this file's position to destination's position, moving both on.
    // The kernel copies them where it can (without passing them through this program, or
    // sharing blocks on file systems that do); where it refuses, and for pipes and devices, a
    // plain read and write loop does. A file that ends sooner fails with InputPastEnd.
    Failure copyTo(BinaryFile& destination, int64_t count);
    // Reads or writes exactly count bytes at byte position, leaving the file's position alone.
    Failure readAt(int64_t position, void* buffer, size_t count);
    Failure writeAt(int64_t position, const void* buffer, size_t count);
    // Makes the file length bytes long (what is added reads as zeros).
    Failure resize(int64_t length);
    // Moves to byte position from the start of the file.
    Failure seek(int64_t position);
    // Length of the file in bytes, or -1 when the system cannot tell (also for a pipe or device).
    int64_t length() const;
    Failure close();

private:
    friend class OutputFile;
    Failure failure(ErrorCode fallback) const;
    static Failure open(const std::string& path, int flags, BinaryFile& file);

    int m_fd = -1;
    std::string m_path;
};

// What is at path when it cannot take a new file: "a folder", "a FIFO", "a device" or "a socket"
// (also behind a link); empty when path may be written (nothing there, a regular file, or a
// link to one or to nothing).
std::string NotAFileAt(const std::string& path);

// A new file for path, made in path's folder and put in its place by commit(), in one rename,
// only once it is complete. Until then whatever is at path stays as it was; when the object goes
// without commit() (a failure, an abort) nothing of the new file is left. Where the file system
// allows it the file has no name at all until commit(), so that not even a killed process
// leaves one behind. A link at path is replaced by the file, never written through. The file
// takes the permissions of the file it replaces, or the usual ones for a new file.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the new, empty file for path, open for writing and reading back. Fails with
    // PathFileAccess when NotAFileAt(path) names something, and with what the system says when
    // the folder cannot take a file.
    static Failure create(const std::string& path, OutputFile& out);

    // The new file, for writing and reading back; its path() is the destination's.
    BinaryFile& file() { return m_file; }
    // Closes the file and puts it in place of the destination. Once done the object holds
    // nothing; on failure the destination is as it was.
    Failure commit();

private:
    void discard();

    BinaryFile m_file;
    std::string m_temporaryName;  // empty while the file has no name
};

// Reads the whole file at path into data (which is replaced). Does not create a missing file.
Failure ReadWholeFile(const std::string& path, std::string& data);
// Writes data as the whole content of the file at path through an OutputFile: the old content
// stays until the new one is complete.
Failure WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace mirel
