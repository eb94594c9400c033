#pragma once

#include "ErrorCode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
    // A second handle on the open descriptor (one of the program's streams, see StreamNamedBy),
    // so that closing the file leaves the stream open. name is what messages call it. Fails with
    // BadFileName when the descriptor is not open.
    static Failure openStream(int descriptor, const std::string& name, BinaryFile& file);

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
    // plain read and write loop does. A file that ends sooner fails with InputPastEnd. Given a
    // position, the bytes there go to the same position of destination, and neither file's
    // position moves.
    Failure copyTo(BinaryFile& destination, int64_t count, int64_t position = -1);
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

// The folder scratch files go in: $TMPDIR, else /tmp.
std::string TemporaryFolder();

// What is at path when it cannot take a new file: "a folder", "a FIFO", "a device" or "a socket"
// (also behind a link), or "a name under /dev" (or /proc, /sys) for anything else in those
// folders, where no file is ever made or replaced; empty when path may be written (nothing there,
// a regular file, or a link to one or to nothing, in an ordinary folder).
std::string NotAFileAt(const std::string& path);

// The descriptor that path names when it is one of this program's open streams (/dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, however spelled), so that it is written
// to as a stream rather than replaced; -1 for any other path, and for a descriptor not open.
int StreamNamedBy(const std::string& path);

// What replacing the regular file at path would lose, as far as can be told before anything is
// written: each part is a reason to ask first. Nothing is lost when nothing is there, or when
// path is a link (the link goes, what it points to stays).
struct ReplaceLoss {
    std::string owner;            // the owner the new file cannot be given (another user's file)
    std::string group;            // the group the new file cannot be given
    bool writeProtected = false;  // the file's permissions do not let this user write to it
    int64_t otherNames = 0;       // its other hard links, which keep the old content

    bool any() const { return !owner.empty() || !group.empty() || writeProtected || otherNames > 0; }
    // The reasons as one phrase for a message ("it belongs to alice and it is write-protected");
    // empty when nothing is lost.
    std::string reasons() const;
};
ReplaceLoss ReplaceLossAt(const std::string& path);

// A new file for path, made in path's folder and put in its place by commit(), in one rename,
// only once it is complete. Until then whatever is at path stays as it was; when the object goes
// without commit() (a failure, an abort) nothing of the new file is left. Where the file system
// allows it the file has no name at all until commit(), and the few steps that give it one run
// with stop signals held, so that a signal never leaves a temporary name behind. SIGKILL cannot
// be held: a temporary name it leaves is removed by the next output made for the same path,
// unless a running program still holds that file. A link at path
// is replaced by the file, never written through. The new file keeps what was the replaced
// file's own: owner and group (where this user may give them), extended attributes and ACLs,
// and permissions; a new file gets the usual permissions.
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
    // nothing; on failure the destination is as it was. note, when given, receives one sentence,
    // naming the file, on what of the replaced file the new one could not keep, on its other hard
    // links that keep the old content and on a write-protected file replaced; empty when there is
    // nothing to say.
    Failure commit(std::string* note = nullptr);

private:
    void discard();
    Failure nameTemporarily();

    BinaryFile m_file;
    std::string m_temporaryName;  // empty while the file has no name
};

// Removes the temporary names of the output files that are not in place yet. Makes only calls
// that are safe in a signal handler: for a handler that ends the program at once.
void RemoveUnfinishedOutputs();

// Reads the whole file at path into data (which is replaced). Does not create a missing file.
Failure ReadWholeFile(const std::string& path, std::string& data);
// Writes data as the whole content of the file at path through an OutputFile: the old content
// stays until the new one is complete. note receives what OutputFile::commit() says.
Failure WriteWholeFile(const std::string& path, std::string_view data, std::string* note = nullptr);

}  // namespace mirel
