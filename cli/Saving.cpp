// Saving what a decode or open got back, and the program's own streams as pictures and outputs.
#include "Saving.h"

#include "BinaryFile.h"
#include "CodePage.h"
#include "NumberText.h"
#include "Payload.h"
#include "Terminal.h"
#include "Wording.h"

#include <cerrno>
#include <cstring>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel::cli {

namespace {

// Writes data to one of the program's streams ("-" is standard output). Returns an exit status.
int writeToStream(const std::string& path, std::string_view data)
{
    const int fd = path == "-" ? STDOUT_FILENO : StreamNamedBy(path);
    if (fd == STDOUT_FILENO)
        return WriteOut(data) ? kExitOk : kExitFailed;
    BinaryFile stream;
    Failure f = BinaryFile::openStream(fd, path, stream);
    if (!f)
        f = stream.write(data.data(), data.size());
    if (f) {
        Say("Cannot save the decoded data: " + f.describe());
        return kExitFailed;
    }
    return kExitOk;
}

bool isStream(const std::string& path)
{
    return path == "-" || StreamNamedBy(path) >= 0;
}

// Saves a decoded file payload where --output says, under its stored name otherwise.
int saveFile(const Options& options, std::string_view text)
{
    FilePayload file;
    if (!SplitFilePayload(text, file)) {
        Say("The hidden file's name runs past the end of its data: the password or the offset is probably "
            "wrong. Nothing was saved.");
        return kExitRefused;
    }
    if (LooksGarbledName(file.name))
        Say("Note: the hidden file's name, \"" + Shown(file.name) +
            "\", does not look like a name. Were the password and the offset right?");
    // The stored name comes from the picture: only its last component is used, never with
    // control characters, and always as the name of a file in the folder: "-" is no standard
    // output, "." and ".." no folders, and a leading "-" no option to a later command.
    std::string name = Utf8FromAnsi(SafeFileName(file.name));
    if (name.empty())
        name = "_";
    else if (name.front() == '-')
        name.front() = '_';
    std::string path = options.output;
    if (path.empty() || IsDirectory(path))
        path = path.empty() ? name : path + (path.back() == '/' ? "" : "/") + name;
    const int result = SaveTo(path, file.data, options.force);
    if (result == kExitOk && !options.quiet && !isStream(path))
        Say("Decoded file " + path + " (" + FormatNumber(static_cast<int64_t>(file.data.size())) + " bytes).");
    return result;
}

}  // namespace

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Says what a protection that did not succeed means; returns its exit status.
int ProtectionProblem(ProtectStatus status)
{
    Say(PlainText(status));
    return status == ProtectStatus::Failed || status == ProtectStatus::NoRoom ? kExitFailed : kExitRefused;
}

// Says that the file at path is replaced only with --force, and what replacing it would lose.
// Returns the exit status of the refusal.
int RefuseToReplace(const std::string& path)
{
    const std::string reasons = ReplaceLossAt(path).reasons();
    Say("The file " + path + " exists already" + (reasons.empty() ? "" : ", and " + reasons) +
        "; give --force to replace it.");
    return kExitRefused;
}

// Writes data to path (a stream for "-", /dev/stdout and the like) unless a file is there and
// --force was not given. The file is replaced only once the new one is complete, keeping what
// was its own where it can; a link there is replaced, not followed.
int SaveTo(const std::string& path, std::string_view data, bool force)
{
    if (isStream(path))
        return writeToStream(path, data);
    if (Exists(path) && !force)
        return RefuseToReplace(path);
    if (const std::string what = NotAFileAt(path); !what.empty()) {
        Say("Cannot save the decoded data as " + path + ": it is " + what + ", not a file.");
        return kExitRefused;
    }
    std::string note;
    if (Failure f = WriteWholeFile(path, data, &note)) {
        Say("Cannot save the decoded data: " + f.describe());
        return kExitFailed;
    }
    if (!note.empty())
        Say("Note: " + note);
    return kExitOk;
}

// Nothing is decoded when it could not be saved anyway. Returns an exit status.
int CheckOutput(const Options& options)
{
    if (!options.output.empty() && !isStream(options.output)) {
        const std::string what = NotAFileAt(options.output);
        if (!what.empty() && what != "a folder") {
            Say("Cannot save the decoded data as " + options.output + ": it is " + what + ", not a file.");
            return kExitRefused;
        }
    }
    return kExitOk;
}

// Shows or saves what was hidden: a message on standard output or at --output, a file under its
// stored name or at --output.
int Present(const Options& options, uint8_t kind, std::string_view text)
{
    if (text.empty()) {
        Say(PlainText(CodecResult{CodecStatus::Ok, kind, {}, {}, {}, Problem::NothingHidden, 0},
                      {ShownPicture(options), {}, options.offset.value_or(0)}));
        return kExitFailed;
    }
    if (kind == kKindFile)
        return saveFile(options, text);
    if (!LooksLikeText(text))
        Say("Note: the message does not look like text. Were the password and the offset right?");
    if (!options.output.empty()) {
        if (IsDirectory(options.output)) {
            Say("Cannot save the message as " + options.output + ": it is a folder, not a file.");
            return kExitRefused;
        }
        return SaveTo(options.output, text, options.force);
    }
    // A terminal gets a final line break; a file or a pipe gets the message as it was hidden.
    const bool terminal = ::isatty(STDOUT_FILENO) && text.back() != '\n';
    return WriteOut(Utf8FromAnsi(text) + (terminal ? "\n" : "")) ? kExitOk : kExitFailed;
}

// Presents what a decode or open recovered. A sealed box without a password is saved as it is, as
// the file that stored holds (when given), to be opened later.
int PresentRecovered(const Options& options, Recovered& recovered, const std::string& stored)
{
    if (recovered.status == ProtectStatus::NeedsPassword) {
        // Nothing is written unless asked for: --output keeps the sealed box as it is.
        if (stored.empty() || options.output.empty()) {
            Say("The hidden data is sealed: give its password with --password-file, --ask-password or --password" +
                std::string(stored.empty() ? "." : ", or --output FILE to keep the sealed box as it is."));
            return kExitRefused;
        }
        Say("The hidden data is sealed; it is saved as it is. Open it with its password: mirel-cli open " +
            options.output + " --ask-password");
        return saveFile(options, stored);
    }
    if (recovered.status != ProtectStatus::Ok)
        return ProtectionProblem(recovered.status);
    if (recovered.protection != Protection::Plain && !options.quiet)
        Say(recovered.protection == Protection::Sealed
                ? "The hidden data was sealed, and it opened with the password."
                : "The hidden data was in the stealth layout, and it opened with the password.");
    const int result = Present(options, recovered.kind, recovered.content.view());
    recovered.content.wipe();
    return result;
}

// True when path names standard input.
bool IsStandardInput(const std::string& path)
{
    return path == "-" || path == "/dev/stdin" || path == "/dev/fd/0" || path == "/proc/self/fd/0";
}

// A picture on standard input, for decode, info and encode: a file behind it is read in place; a
// pipe is read into a scratch file first (at most kMostSpooled bytes), so that the picture can be
// looked at before it is read. Sets options.picture to what is read. Returns an exit status.
int TakeStandardInput(Options& options, BinaryFile& spool)
{
    constexpr int64_t kMostSpooled = int64_t(1) << 30;
    options.pictureShown = "standard input";
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        options.picture = "/proc/self/fd/0";
        return kExitOk;
    }
    if (Failure f = BinaryFile::createTemporary("standard input", spool)) {
        Say("Cannot keep the picture from standard input: " + f.describe());
        return kExitFailed;
    }
    std::vector<char> buffer(size_t(1) << 20);
    int64_t total = 0;
    for (size_t got = 1; got > 0; total += int64_t(got)) {
        got = 0;
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Say(std::string("Cannot read standard input: ") + std::strerror(errno));
            return kExitFailed;
        }
        got = size_t(n);
        if (total + n > kMostSpooled) {
            Say("The picture on standard input is larger than 1 GiB; give it as a file.");
            return kExitRefused;
        }
        if (Failure f = spool.write(buffer.data(), got)) {
            Say("Cannot keep the picture from standard input: " + f.describe());
            return kExitFailed;
        }
    }
    options.picture = "/proc/self/fd/" + std::to_string(spool.descriptor());
    return kExitOk;
}

}  // namespace mirel::cli
