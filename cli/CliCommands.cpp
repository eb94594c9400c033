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
#include "Saving.h"
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
    return status == ProtectStatus::Ok ? kExitOk : ProtectionProblem(status);
}

int runEncode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture))
        return kExitRefused;
    // A folder, FIFO or device there is refused by the encoder, with its own words.
    if (Exists(options.output) && NotAFileAt(options.output).empty() && !options.force)
        return RefuseToReplace(options.output);
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

// Reads the picture's payload, the progress bar running meanwhile: with a password (key, UTF-8)
// and neither --offset nor --seal, the stealth layout first; then, unless --stealth takes nothing
// else, the plain format from offset on. stealth tells that the payload came from the former.
CodecResult decodePicture(const Options& options, ConsoleUi& console, int32_t offset, const std::string& key,
                          bool& stealth, bool& stealthTried)
{
    gAbort = false;
    stealth = false;
    stealthTried = false;
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
            stealthTried = true;
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
    if (const int status = CheckOutput(options); status != kExitOk)
        return status;
    std::string key = Utf8FromUtf16(password);
    bool stealth = false;
    bool stealthTried = false;
    CodecResult decoded = decodePicture(options, console, offset, key, stealth, stealthTried);
    Wipe(key);
    // The stealth layout was tried first: when the plain format holds nothing either, that the
    // stealth layout did not open is worth knowing.
    if (stealthTried && !stealth && !options.stealth &&
        (decoded.status == CodecStatus::Ok ? decoded.payload.empty() : decoded.status != CodecStatus::Aborted))
        Say(ProtectionText(ProtectStatus::NotStealth));
    if (decoded.status != CodecStatus::Ok) {
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
    return PresentRecovered(options, recovered, decoded.payload);
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
    if (const int status = CheckOutput(options); status != kExitOk)
        return status;
    Recovered recovered = Recover(kKindFile, FrameFilePayload(kSealedName, box), password, true);
    Wipe(password);
    return PresentRecovered(options, recovered);
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
    if (options.command != Command::Open && IsStandardInput(options.picture))
        status = TakeStandardInput(options, spool);
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
