// Where an output may go, and what of the file it replaces it keeps.
#include "BinaryFile.h"
#include "FileKeeping.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace mirel {

namespace {

// The extended attribute that holds a file's ACL.
constexpr const char* kAclAttribute = "system.posix_acl_access";
// Folders that belong to the system's own file systems: nothing is made or replaced there. /dev/shm
// is a plain file system in memory, kept for files, and stays open to them.
constexpr const char* kSystemFolders[] = {"/dev", "/proc", "/sys"};
constexpr const char* kFilesInSystemFolders = "/dev/shm";

// The folder of path with every link resolved, or empty when it cannot be found.
std::string realFolderOf(const std::string& path)
{
    char* real = ::realpath(FolderOf(path).c_str(), nullptr);
    if (!real)
        return {};
    std::string folder = real;
    std::free(real);
    return folder;
}

bool isUnder(const std::string& path, const std::string& folder)
{
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

// The descriptor number that name spells ("0" to "999999999"), or -1.
int descriptorNumber(const std::string& name)
{
    if (name.empty() || name.size() > 9 || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::atoi(name.c_str());
}

std::string userName(uid_t uid)
{
    passwd entry {};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return "user " + std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    group entry {};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->gr_name;
    return "group " + std::to_string(gid);
}

// Whether this user may give a file of theirs the group gid.
bool mayGiveGroup(gid_t gid)
{
    if (::geteuid() == 0 || ::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    const int got = ::getgroups(static_cast<int>(groups.size()), groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the file (st, at path) is one this user was asked not to write: root may write
// anything, but a file that nobody may write is still one it was asked not to.
bool writeProtected(const struct stat& st, const std::string& path)
{
    if (::geteuid() == 0)
        return (st.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// "its other name (a hard link) keeps the old content", or how it would.
std::string otherNamesText(int64_t count, bool would)
{
    if (count == 1)
        return would ? "it has another name (a hard link) that would keep the old content"
                     : "its other name (a hard link) keeps the old content";
    const std::string names = std::to_string(count) + " other names (hard links)";
    return would ? "it has " + names + " that would keep the old content" : "its " + names + " keep the old content";
}

// Reads a list or a value of extended attributes with get(buffer, size), which answers as the
// system's *listxattr and *getxattr do, into out. False when the system refuses.
template <typename Get>
bool readAttributeBytes(Get get, std::string& out)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        out.assign(static_cast<size_t>(size), '\0');
        const ssize_t got = get(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE)  // it grew in between: ask again
            return false;
    }
    return false;
}

std::vector<std::string> namesIn(const std::string& list)
{
    std::vector<std::string> names;
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\0', at);
        names.push_back(list.substr(at, end - at));
        at = end == std::string::npos ? list.size() : end + 1;
    }
    return names;
}

// Gives the new file every extended attribute of the file at path, and takes from it those the
// folder gave it that the old one did not have (a default ACL). Adds what failed to lost.
void keepAttributes(int fd, const std::string& path, std::vector<std::string>& lost)
{
    std::string oldList, newList;
    if (!readAttributeBytes([&](char* b, size_t n) { return ::llistxattr(path.c_str(), b, n); }, oldList)) {
        if (errno != ENOTSUP)
            lost.push_back("its extended attributes");
        return;
    }
    const std::vector<std::string> oldNames = namesIn(oldList);
    if (readAttributeBytes([&](char* b, size_t n) { return ::flistxattr(fd, b, n); }, newList)) {
        for (const std::string& name : namesIn(newList))
            if (std::find(oldNames.begin(), oldNames.end(), name) == oldNames.end())
                ::fremovexattr(fd, name.c_str());
    }
    for (const std::string& name : oldNames) {
        std::string value, present;
        const bool read =
            readAttributeBytes([&](char* b, size_t n) { return ::lgetxattr(path.c_str(), name.c_str(), b, n); }, value);
        if (read && readAttributeBytes([&](char* b, size_t n) { return ::fgetxattr(fd, name.c_str(), b, n); }, present) &&
            present == value)
            continue;
        if (!read || ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
            lost.push_back(name == kAclAttribute ? "its ACL" : "its extended attribute " + name);
    }
}

// Gives the new file the old one's owner and group, or the group alone where only that is
// allowed. Adds what could not be given to lost.
void keepOwner(int fd, const struct stat& old, std::vector<std::string>& lost)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0 || (now.st_uid == old.st_uid && now.st_gid == old.st_gid))
        return;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    if (now.st_uid != old.st_uid)
        lost.push_back("its owner " + userName(old.st_uid));
    if (now.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0)
        lost.push_back("its group " + groupName(old.st_gid));
}

std::string joined(const std::vector<std::string>& parts, const std::string& last)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? last : ", ") + parts[i];
    return text;
}

}  // namespace

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NotAFileAt(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return "a folder";
        if (S_ISFIFO(st.st_mode))
            return "a FIFO";
        if (S_ISSOCK(st.st_mode))
            return "a socket";
        return "a device";
    }
    // Nothing there, a file, or a link to either: only the folder can still forbid it.
    const std::string folder = realFolderOf(path);
    if (folder.empty() || isUnder(folder, kFilesInSystemFolders))
        return {};
    for (const char* system : kSystemFolders)
        if (isUnder(folder, system))
            return std::string("a name under ") + system;
    return {};
}

int StreamNamedBy(const std::string& path)
{
    const std::string folder = realFolderOf(path);
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string process = "/proc/" + std::to_string(::getpid());
    int fd = -1;
    if (folder == "/dev")
        fd = name == "stdin" ? 0 : name == "stdout" ? 1 : name == "stderr" ? 2 : -1;
    else if (folder == process + "/fd" || (isUnder(folder, process + "/task") && folder.size() > 3 &&
                                           folder.compare(folder.size() - 3, 3, "/fd") == 0))
        fd = descriptorNumber(name);
    if (fd >= 0 && ::fcntl(fd, F_GETFD) < 0)
        return -1;
    return fd;
}

std::string ReplaceLoss::reasons() const
{
    std::vector<std::string> parts;
    if (!owner.empty())
        parts.push_back("it belongs to " + owner);
    if (!group.empty())
        parts.push_back("its group " + group + " cannot be kept");
    if (writeProtected)
        parts.push_back("it is write-protected");
    if (otherNames > 0)
        parts.push_back(otherNamesText(otherNames, true));
    return joined(parts, " and ");
}

ReplaceLoss ReplaceLossAt(const std::string& path)
{
    ReplaceLoss loss;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return loss;
    const bool root = ::geteuid() == 0;
    if (!root && st.st_uid != ::geteuid())
        loss.owner = userName(st.st_uid);
    if (!mayGiveGroup(st.st_gid))
        loss.group = groupName(st.st_gid);
    loss.writeProtected = writeProtected(st, path);
    loss.otherNames = static_cast<int64_t>(st.st_nlink) - 1;
    return loss;
}

std::string KeepWhatWasOwn(int fd, const std::string& path)
{
    struct stat old {};
    if (::lstat(path.c_str(), &old) != 0)
        return {};
    if (!S_ISREG(old.st_mode)) {
        // A link goes; the new file takes the permissions of the file it pointed to.
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
            ::fchmod(fd, target.st_mode & 0777);
        return {};
    }
    std::vector<std::string> lost;
    keepOwner(fd, old, lost);
    keepAttributes(fd, path, lost);
    // Last: giving an owner may clear set-user-ID bits, and an ACL sets the group bits.
    if (::fchmod(fd, old.st_mode & 07777) != 0)
        lost.push_back("its permissions");
    std::vector<std::string> parts;
    if (writeProtected(old, path))
        parts.push_back("it was write-protected, and the new file is too");
    if (!lost.empty())
        parts.push_back(joined(lost, " and ") + (lost.size() == 1 ? " was" : " were") + " not kept");
    if (old.st_nlink > 1)
        parts.push_back(otherNamesText(static_cast<int64_t>(old.st_nlink) - 1, false));
    return parts.empty() ? std::string() : path + ": " + joined(parts, "; ") + ".";
}

}  // namespace mirel
