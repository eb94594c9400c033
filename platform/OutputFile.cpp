// Output files: where a new file may go, and putting it in place of the old one.
#include "BinaryFile.h"
#include "FileKeeping.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace mirel {

namespace {

Failure systemFailure(const std::string& name, ErrorCode fallback)
{
    const int err = errno;
    return {ErrorCodeFromErrno(err, fallback), name + ": " + std::strerror(err)};
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr size_t kSuffixSize = 6;

// What the temporary names for path start with, folder left out: ".<name>.mirel-".
std::string temporaryPrefixFor(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return "." + name.substr(0, 200) + ".mirel-";
}

// A name for the new file next to path that nothing has yet: ".<name>.mirel-XXXXXX".
std::string temporaryNameFor(const std::string& path)
{
    static std::mt19937_64 random{std::random_device{}()};
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string suffix(kSuffixSize, 'x');
    for (char& ch : suffix)
        ch = kLetters[random() % (sizeof kLetters - 1)];
    return folder + temporaryPrefixFor(path) + suffix;
}

// A file that is, or may soon be, under a temporary name is locked for as long as this program
// has it open; the lock goes with the program, however it ends.
void holdWhileNamed(int fd)
{
    ::flock(fd, LOCK_EX | LOCK_NB);
}

// A program killed outright (SIGKILL cannot be held) may leave a temporary name behind: the new
// file just before it took its place, or the old one just after. Removes those of path's names
// that no running program holds.
void removeLeftNames(const std::string& path)
{
    const std::string folder = folderOf(path);
    const std::string prefix = temporaryPrefixFor(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kSuffixSize || name.compare(0, prefix.size(), prefix) != 0 ||
            name.find_first_not_of(kLetters, prefix.size()) != std::string_view::npos)
            continue;
        const std::string left = folder + "/" + std::string(name);
        const int fd = ::open(left.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {}, named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(left.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlink(left.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

// The temporary names of outputs not yet in place, for RemoveUnfinishedOutputs. A slot is taken
// by setting its state to kFilling, filled, then marked kNamed; a signal handler reads only
// kNamed slots.
constexpr int kNameSlots = 8;
constexpr size_t kNameRoom = 4096;
constexpr int kFree = 0;
constexpr int kFilling = 1;
constexpr int kNamed = 2;
struct NameSlot {
    std::atomic<int> state{kFree};
    char name[kNameRoom];
};
NameSlot gNameSlots[kNameSlots];

// Records name for RemoveUnfinishedOutputs; returns its slot, -1 when none is free or the name
// does not fit (the name then stays until the object goes, as before).
int rememberName(const std::string& name)
{
    if (name.size() >= kNameRoom)
        return -1;
    for (int i = 0; i < kNameSlots; ++i) {
        int expected = kFree;
        if (gNameSlots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(gNameSlots[i].name, name.c_str(), name.size() + 1);
            gNameSlots[i].state.store(kNamed);
            return i;
        }
    }
    return -1;
}

void forgetName(const std::string& name)
{
    for (NameSlot& slot : gNameSlots) {
        if (slot.state.load() == kNamed && name == slot.name) {
            slot.state.store(kFree);
            return;
        }
    }
}

// Holds SIGINT, SIGTERM and SIGHUP while it lives; one that arrives meanwhile is delivered when
// it goes.
class StopSignalsHeld {
public:
    StopSignalsHeld()
    {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stops, &m_before);
    }
    ~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t m_before;
};

}  // namespace

void RemoveUnfinishedOutputs()
{
    for (NameSlot& slot : gNameSlots) {
        if (slot.state.load() == kNamed)
            ::unlink(slot.name);
    }
}

OutputFile::~OutputFile()
{
    discard();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_file(std::move(other.m_file)), m_temporaryName(std::exchange(other.m_temporaryName, {}))
{
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        discard();
        m_file = std::move(other.m_file);
        m_temporaryName = std::exchange(other.m_temporaryName, {});
    }
    return *this;
}

void OutputFile::discard()
{
    m_file.close();
    if (!m_temporaryName.empty()) {
        ::unlink(m_temporaryName.c_str());
        forgetName(m_temporaryName);
    }
    m_temporaryName.clear();
}

Failure OutputFile::create(const std::string& path, OutputFile& out)
{
    out = OutputFile();
    if (path.empty())
        return {ErrorCode::BadFileName, "empty file name"};
    if (const std::string what = NotAFileAt(path); !what.empty())
        return {ErrorCode::PathFileAccess, path + ": " + what + ", not a file"};

    removeLeftNames(path);
    // A file without a name where the system can make one (and later give it its name through
    // /proc); otherwise one under a temporary name, removed again on every way out.
    int fd = -1;
    if (::access("/proc/self/fd", X_OK) == 0)
        fd = ::open(folderOf(path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            out.m_temporaryName = temporaryNameFor(path);
            const StopSignalsHeld held;  // a handler that removes the name must find it
            fd = ::open(out.m_temporaryName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                holdWhileNamed(fd);
                rememberName(out.m_temporaryName);
            }
            else if (errno != EEXIST)
                break;
        }
        if (fd < 0) {
            out.m_temporaryName.clear();
            return systemFailure(folderOf(path), ErrorCode::PathFileAccess);
        }
    }
    out.m_file.m_fd = fd;
    out.m_file.m_path = path;
    return {};
}

// Gives the unnamed file a temporary name next to the destination. Called with stop signals held.
Failure OutputFile::nameTemporarily()
{
    const std::string self = "/proc/self/fd/" + std::to_string(m_file.descriptor());
    holdWhileNamed(m_file.descriptor());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryNameFor(m_file.path());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporaryName = name;
            rememberName(name);
            return {};
        }
        if (errno != EEXIST)
            return m_file.failure(ErrorCode::PathFileAccess);
    }
    return {ErrorCode::PathFileAccess, m_file.path() + ": no temporary name is free"};
}

Failure OutputFile::commit(std::string* note)
{
    if (!m_file.isOpen())
        return {ErrorCode::BadFileName, "no file to put in place"};
    const std::string path = m_file.path();
    // What belonged to the old file is given to the new one while it has no name yet, after the
    // last write (a write may drop set-user-ID bits and capabilities).
    const std::string lost = KeepWhatWasOwn(m_file.descriptor(), path);
    if (note)
        *note = lost;

    // From the first name to the last step, a stop signal waits: the program never ends with a
    // temporary name in the folder.
    const StopSignalsHeld held;
    if (m_temporaryName.empty()) {
        // Nothing to replace: the file takes its name at once, and no other name is ever seen.
        const std::string self = "/proc/self/fd/" + std::to_string(m_file.descriptor());
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT &&
            ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return m_file.close();
        if (Failure f = nameTemporarily())
            return f;
    }
    // The new file stays held, through a second descriptor, until it is in place; closing the
    // first tells of any write that failed, while nothing has been replaced.
    const int holder = ::fcntl(m_file.descriptor(), F_DUPFD_CLOEXEC, 0);
    const auto release = [holder](Failure f) {
        if (holder >= 0)
            ::close(holder);
        return f;
    };
    if (Failure f = m_file.close())
        return release(f);
    // Swapping the two names puts the new file in place as a rename would; the old one, now under
    // the temporary name and held until then, goes next. (A plain rename over a file makes some
    // file systems push the whole new file to the disk at once, which costs as much again as
    // writing it.)
    const int old = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (old >= 0)
        holdWhileNamed(old);
    const bool exchanged =
        ::renameat2(AT_FDCWD, m_temporaryName.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0;
    if (exchanged)
        discard();
    if (old >= 0)
        ::close(old);
    if (exchanged)
        return release({});
    if (::rename(m_temporaryName.c_str(), path.c_str()) != 0) {
        const Failure f = systemFailure(path, ErrorCode::PathFileAccess);
        discard();
        return release(f);
    }
    forgetName(m_temporaryName);
    m_temporaryName.clear();
    return release({});
}

Failure WriteWholeFile(const std::string& path, std::string_view data, std::string* note)
{
    OutputFile out;
    if (Failure f = OutputFile::create(path, out))
        return f;
    if (Failure f = out.file().write(data.data(), data.size()))
        return f;
    return out.commit(note);
}

}  // namespace mirel
