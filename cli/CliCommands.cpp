#include "CliCommands.h"

#include "AppInfo.h"
#include "BinaryFile.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "ConsoleUi.h"
#include "InfoReport.h"
#include "NumberText.h"
#include "Paths.h"
#include "Payload.h"
#include "Pictures.h"
#include "Protection.h"
#include "Terminal.h"
#include "Wording.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel::cli {

namespace {

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A picture to read must be there (a dangling link is not); nothing is ever created for it.
bool pictureExists(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return true;
    Say("Cannot open the picture " + path + ": File not found");
    return false;
}

// Builds the content to hide and its kind. Returns an exit status other than kExitOk on failure.
int buildContent(const Options& options, std::string& content, uint8_t& kind)
{
    kind = kKindMessage;
    const auto noteReplaced = [](size_t replaced, const char* what) {
        if (replaced > 0)
            Say("Note: " + FormatNumber(static_cast<int64_t>(replaced)) + " character(s) of " + what +
                " have no Windows-1252 code and are stored as \"?\".");
    };
    if (options.source == Source::Message) {
        size_t replaced = 0;
        content = AnsiFromUtf8(options.sourceValue, &replaced);
        noteReplaced(replaced, "the message");
    } else {
        const std::string& path = options.sourceValue;
        const bool standardInput = options.source == Source::MessageFile && path == "-";
        struct stat st {};
        if (!standardInput && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size > INT32_MAX - kLengthFieldSize - 256) {
            Say("The file " + path + " is too large to hide: the hidden data is limited to 2 GiB.");
            return kExitRefused;
        }
        std::string data;
        if (Failure f = ReadWholeFile(standardInput ? "/dev/stdin" : path, data)) {
            Say("Cannot read the file to hide: " + f.describe());
            return kExitFailed;
        }
        if (options.source == Source::MessageFile) {
            content = std::move(data);
        } else {
            size_t replaced = 0;
            const std::string name = AnsiFromUtf8(FileNameFromPath(path), &replaced);
            noteReplaced(replaced, "the file's name");
            content = FrameFilePayload(name, data);
            kind = kKindFile;
        }
    }
    // Nothing hidden could not be told from nothing at all.
    if (kind == kKindMessage && content.empty()) {
        Say("No message to encode.");
        return kExitRefused;
    }
    return kExitOk;
}

// Says that the file at path is replaced only with --force, and what replacing it would lose.
// Returns the exit status of the refusal.
int refuseToReplace(const std::string& path)
{
    const std::string reasons = ReplaceLossAt(path).reasons();
    Say("The file " + path + " exists already" + (reasons.empty() ? "" : ", and " + reasons) +
        "; give --force to replace it.");
    return kExitRefused;
}

// Writes data to one of the program's streams ("-" is standard output). Returns an exit status.
int writeToStream(const std::string& path, const std::string& data)
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

// Writes data to path (a stream for "-", /dev/stdout and the like) unless a file is there and
// --force was not given. The file is replaced only once the new one is complete, keeping what
// was its own where it can; a link there is replaced, not followed.
int saveTo(const std::string& path, const std::string& data, bool force)
{
    if (isStream(path))
        return writeToStream(path, data);
    if (exists(path) && !force)
        return refuseToReplace(path);
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

int exitStatusOf(CodecStatus status)
{
    switch (status) {
    case CodecStatus::Ok: return kExitOk;
    case CodecStatus::Refused: return kExitRefused;
    case CodecStatus::Aborted: return StoppedStatus();
    case CodecStatus::Failed: break;
    }
    return kExitFailed;
}

// Says what a protection that did not succeed means; returns its exit status.
int protectionProblem(ProtectStatus status)
{
    Say(PlainText(status));
    return status == ProtectStatus::Failed ? kExitFailed : kExitRefused;
}

// Says why a pass over a picture did not end Ok, in plain words; returns its exit status.
int passProblem(const CodecResult& result, const RunContext& run)
{
    if (result.status == CodecStatus::Aborted) {
        Say(run.output.empty() ? "Stopped: nothing was decoded." : "Stopped: " + run.output + " was left as it was.");
        return StoppedStatus();
    }
    Say(PlainText(result, run));
    return exitStatusOf(result.status);
}

// The payload to hide and its kind, protected as the options say. Returns an exit status.
Protection protectionOf(const Options& options)
{
    return options.stealth ? Protection::Stealth : options.seal ? Protection::Sealed : Protection::Plain;
}

int protect(const Options& options, const std::u16string& password, std::string& content, uint8_t& kind,
            std::string& payload)
{
    if ((options.seal || options.stealth) && options.password)
        Say("Note: a password given with --password shows in the process list; --password-file and "
            "--ask-password keep it out of it.");
    const ProtectStatus status = Protect(protectionOf(options), password, kind, content, payload);
    Wipe(content);
    return status == ProtectStatus::Ok ? kExitOk : protectionProblem(status);
}

int runEncode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture))
        return kExitRefused;
    // A folder, FIFO or device there is refused by the encoder, with its own words.
    if (exists(options.output) && NotAFileAt(options.output).empty() && !options.force)
        return refuseToReplace(options.output);
    std::u16string password;
    int32_t offset = options.offset.value_or(0);
    if (const int status = LoadPassword(options, true, protectionOf(options), password); status != kExitOk)
        return status;
    std::string content;
    std::string payload;
    uint8_t kind = 0;
    int status = buildContent(options, content, kind);
    if (status == kExitOk)
        status = protect(options, password, content, kind, payload);
    std::string key = options.stealth ? Utf8FromUtf16(password) : std::string();
    Wipe(password);
    if (status != kExitOk)
        return status;

    gBytePos = gMsgStart = gMsgEnd = 0;
    gAbort = false;
    console.beginProgress("Encoding", !options.quiet);
    CodecResult result;
    {
        const Pass pass;
        result = options.stealth ? HideStealthInPicture(options.picture, options.output, payload, kind, key)
                                 : HideInPicture(options.picture, options.output, payload, kind, offset);
    }
    Wipe(key);
    console.endProgress(result.status == CodecStatus::Ok);
    const size_t hidden = payload.size();
    Wipe(payload);
    if (result.status != CodecStatus::Ok)
        return passProblem(result, {ShownPicture(options), options.output, options.offset.value_or(0), options.stealth});
    SayAll(result.messages);  // notes
    if (!options.quiet)
        Say("Encoded " + FormatNumber(static_cast<int64_t>(hidden)) + " bytes into " + options.output +
            (options.stealth ? std::string(" in the stealth layout.")
                             : " (groups " + FormatNumber(gMsgStart) + " to " + FormatNumber(gMsgEnd) + ")."));
    return kExitOk;
}

// Saves a decoded file payload where --output says, under its stored name otherwise.
int saveFile(const Options& options, const std::string& text)
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
    if (path.empty() || isDirectory(path))
        path = path.empty() ? name : path + (path.back() == '/' ? "" : "/") + name;
    const int result = saveTo(path, file.data, options.force);
    if (result == kExitOk && !options.quiet && !isStream(path))
        Say("Decoded file " + path + " (" + FormatNumber(static_cast<int64_t>(file.data.size())) + " bytes).");
    return result;
}

// Nothing is decoded when it could not be saved anyway. Returns an exit status.
int checkOutput(const Options& options)
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
int present(const Options& options, uint8_t kind, const std::string& text)
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
        if (isDirectory(options.output)) {
            Say("Cannot save the message as " + options.output + ": it is a folder, not a file.");
            return kExitRefused;
        }
        return saveTo(options.output, text, options.force);
    }
    // A terminal gets a final line break; a file or a pipe gets the message as it was hidden.
    const bool terminal = ::isatty(STDOUT_FILENO) && text.back() != '\n';
    return WriteOut(Utf8FromAnsi(text) + (terminal ? "\n" : "")) ? kExitOk : kExitFailed;
}

// Presents what a decode or open recovered. A sealed box without a password is saved as it is, as
// the file that stored holds (when given), to be opened later.
int presentRecovered(const Options& options, Recovered& recovered, const std::string& stored = {})
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
        return protectionProblem(recovered.status);
    if (recovered.protection != Protection::Plain && !options.quiet)
        Say(recovered.protection == Protection::Sealed
                ? "The hidden data was sealed, and it opened with the password."
                : "The hidden data was in the stealth layout, and it opened with the password.");
    const int result = present(options, recovered.kind, recovered.content);
    Wipe(recovered.content);
    return result;
}

// Reads the picture's payload, the progress bar running meanwhile: with a password (key, UTF-8)
// and neither --offset nor --seal, the stealth layout first; then, unless --stealth takes nothing
// else, the plain format from offset on. stealth tells that the payload came from the former.
CodecResult decodePicture(const Options& options, ConsoleUi& console, int32_t offset, const std::string& key,
                          bool& stealth)
{
    gAbort = false;
    stealth = false;
    console.beginProgress("Decoding", !options.quiet);
    CodecResult decoded;
    {
        const Pass pass;
        PictureToDecode picture;
        decoded = OpenToDecode(options.picture, picture);
        bool found = false;
        if (decoded.status == CodecStatus::Ok && !key.empty() && !options.offset && !options.seal &&
            (options.stealth || !HoldsSealedBox(picture))) {
            CodecResult hidden = RevealStealthFromPicture(picture, key);
            stealth = hidden.status == CodecStatus::Ok;
            found = stealth || hidden.status == CodecStatus::Aborted || options.stealth;
            if (found)
                decoded = std::move(hidden);
        }
        if (decoded.status == CodecStatus::Ok && !found)
            decoded = RevealFromPicture(picture, offset);
    }
    console.endProgress(decoded.status == CodecStatus::Ok);
    return decoded;
}

int runDecode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture))
        return kExitRefused;
    std::u16string password;
    int32_t offset = options.offset.value_or(0);
    bool validUtf8 = true;
    if (const int status = LoadPassword(options, false, Protection::Plain, password, &validUtf8); status != kExitOk)
        return status;
    if (const int status = checkOutput(options); status != kExitOk)
        return status;
    std::string key = Utf8FromUtf16(password);
    bool stealth = false;
    CodecResult decoded = decodePicture(options, console, offset, key, stealth);
    Wipe(key);
    if (decoded.status != CodecStatus::Ok) {
        // The stealth layout was tried first: that it did not open either is worth knowing.
        if (decoded.status != CodecStatus::Aborted && !options.stealth && !options.offset && !password.empty())
            Say(ProtectionText(ProtectStatus::NotStealth));
        Wipe(password);
        return passProblem(decoded, {ShownPicture(options), {}, options.offset.value_or(0)});
    }
    // A sealed box opens by itself; with --seal nothing else is taken.
    std::string box;
    if (!validUtf8 && !password.empty() && FindSealedBox(decoded.payload, box)) {
        Wipe(password);
        Say(kNotUtf8Text);
        return kExitRefused;
    }
    Recovered recovered;
    if (stealth) {
        recovered = {ProtectStatus::Ok, Protection::Stealth, decoded.kind, std::move(decoded.payload)};
        decoded.payload.clear();
    } else {
        recovered = Recover(decoded.kind, decoded.payload, password, options.seal);
    }
    if (recovered.protection == Protection::Plain && !password.empty())
        NoteUnstorablePassword(password);
    Wipe(password);
    return presentRecovered(options, recovered, decoded.payload);
}

int runOpen(const Options& options)
{
    std::string box;
    if (Failure f = ReadWholeFile(options.picture, box)) {
        Say("Cannot read the sealed file: " + f.describe());
        return f.code == ErrorCode::FileNotFound ? kExitRefused : kExitFailed;
    }
    if (!IsSealedBox(box)) {
        Say(options.picture + " is not a sealed box.");
        return kExitRefused;
    }
    std::u16string password;
    if (const int status = LoadPassword(options, false, Protection::Sealed, password); status != kExitOk)
        return status;
    if (const int status = checkOutput(options); status != kExitOk)
        return status;
    Recovered recovered = Recover(kKindFile, FrameFilePayload(kSealedName, box), password, true);
    Wipe(password);
    return presentRecovered(options, recovered);
}

// True when path names standard input.
bool isStandardInput(const std::string& path)
{
    return path == "-" || path == "/dev/stdin" || path == "/dev/fd/0" || path == "/proc/self/fd/0";
}

// A picture on standard input, for decode, info and encode: a file behind it is read in place; a
// pipe is read into a scratch file first (at most kMostSpooled bytes), so that the picture can be
// looked at before it is read. Sets options.picture to what is read. Returns an exit status.
int takeStandardInput(Options& options, BinaryFile& spool)
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

}  // namespace

int Run(const Options& given)
{
    ConsoleUi console;
    console.onYield = PollStop;
    InstallUi(&console);
    InstallStopSignals();

    Options options = given;
    BinaryFile spool;
    int status = kExitOk;
    if (options.command != Command::Open && isStandardInput(options.picture))
        status = takeStandardInput(options, spool);
    switch (status == kExitOk ? options.command : Command::None) {
    case Command::Encode: status = runEncode(options, console); break;
    case Command::Decode: status = runDecode(options, console); break;
    case Command::Open: status = runOpen(options); break;
    case Command::Info: status = RunInfo(options); break;
    case Command::Help: status = ShowHelp(options.helpCommand); break;
    case Command::Version:
        status = WriteOut("mirel-cli " + AppVersionText() + "\n") ? kExitOk : kExitFailed;
        break;
    case Command::None: status = status == kExitOk ? kExitUsage : status; break;
    }
    RemoveStopSignals();
    InstallUi(nullptr);
    return status;
}

}  // namespace mirel::cli
