#include "CliCommands.h"

#include "AppInfo.h"
#include "BinaryFile.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "ConsoleUi.h"
#include "NumberText.h"
#include "OffsetText.h"
#include "Paths.h"
#include "Payload.h"
#include "Pictures.h"
#include "Seal.h"
#include "Settings.h"
#include "Ui.h"

#include <algorithm>
#include <optional>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace mirel::cli {

namespace {

volatile std::sig_atomic_t gSignal = 0;
volatile std::sig_atomic_t gInPass = 0;

// During a pass over a picture, Ctrl+C and SIGTERM become an abort at the end of the current row,
// like the desktop program's close box: the codec then leaves every file as it was. Anywhere else
// (waiting for standard input, say) they end the program at once, as they usually do.
void onStopSignal(int signal)
{
    gSignal = signal;
    if (!gInPass)
        ::_exit(kExitSignal + signal);
}

// Marks a pass over a picture for the signal handler.
struct Pass {
    Pass() { gInPass = 1; }
    ~Pass() { gInPass = 0; }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
};

void pollStop()
{
    if (gSignal)
        gAbort = true;
}

// The exit status of a run that a signal stopped.
int stoppedStatus()
{
    return kExitSignal + (gSignal ? static_cast<int>(gSignal) : SIGINT);
}

void say(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

// A name from the picture, fit for a terminal: control characters escaped, in UTF-8.
std::string shown(std::string_view storedBytes)
{
    return Utf8FromAnsi(Printable(storedBytes));
}

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
    say("Cannot open the picture " + path + ": File not found");
    return false;
}

// The terminal's settings while a password is typed without echo, to restore on every way out.
int gTerminal = -1;
termios gTerminalSettings {};

void restoreTerminal()
{
    if (gTerminal >= 0)
        ::tcsetattr(gTerminal, TCSAFLUSH, &gTerminalSettings);
}

// Ctrl+C at the prompt ends the program at once, with the echo back on.
void onSignalAtPrompt(int signal)
{
    restoreTerminal();
    static const char kNewLine = '\n';
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, &kNewLine, 1);
    ::_exit(kExitSignal + signal);
}

// Asks for a line at the terminal without echoing it. False when there is no terminal.
bool askAtTerminal(const char* prompt, std::string& line)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return false;
    termios quiet {};
    if (::tcgetattr(tty, &gTerminalSettings) != 0) {
        ::close(tty);
        return false;
    }
    gTerminal = tty;
    const auto previousInt = std::signal(SIGINT, onSignalAtPrompt);
    const auto previousTerm = std::signal(SIGTERM, onSignalAtPrompt);
    quiet = gTerminalSettings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
    [[maybe_unused]] ssize_t ignored = ::write(tty, prompt, std::strlen(prompt));
    line.clear();
    char ch = 0;
    while (::read(tty, &ch, 1) == 1 && ch != '\n')
        line += ch;
    restoreTerminal();
    gTerminal = -1;
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    ::close(tty);
    return true;
}

// Reads the password of --password, --password-file or --ask-password into gPassword. A
// password that is given must not be empty. For encoding every character must have a
// Windows-1252 code: all others would become the same "?", so that any of them opens the
// picture. Decoding takes them as "?", as pictures made that way need. Returns an exit status.
int loadPassword(const Options& options, bool encoding)
{
    gPassword.clear();
    std::string text;
    std::string from;
    if (options.password) {
        text = *options.password;
        from = "--password";
    } else if (options.passwordFile) {
        if (*options.passwordFile == "-") {
            std::getline(std::cin, text);
            from = "standard input";
        } else {
            if (Failure f = ReadWholeFile(*options.passwordFile, text)) {
                say("Cannot read the password file: " + f.describe());
                return kExitRefused;
            }
            text = text.substr(0, text.find('\n'));
            from = "the password file " + *options.passwordFile;
        }
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
    } else if (options.askPassword) {
        if (!askAtTerminal("Password: ", text)) {
            say("--ask-password needs a terminal; give the password with --password-file instead.");
            return kExitUsage;
        }
        std::string again;
        if (encoding && (!askAtTerminal("The same password again: ", again) || again != text)) {
            say("The two passwords are not the same; nothing was done.");
            return kExitRefused;
        }
        from = "the terminal";
    } else {
        return kExitOk;
    }
    if (text.empty()) {
        say("The password from " + from + " is empty. Without --password, --password-file or --ask-password "
            "nothing is enciphered.");
        return kExitRefused;
    }
    gPassword = Utf16FromUtf8(text);
    const std::u16string missing = CharactersWithoutCode(gPassword);
    if (missing.empty())
        return kExitOk;
    if (encoding) {
        say("The password holds characters that Windows-1252 has no code for: " + Utf8FromUtf16(missing) +
            ". Each of them would be stored as \"?\", so that any such character, or \"?\" itself, would open the "
            "picture. Choose a password of Western European letters, digits and signs.");
        return kExitRefused;
    }
    say("Note: the password's characters without a Windows-1252 code (" + Utf8FromUtf16(missing) +
        ") count as \"?\", as they did when the picture was made.");
    return kExitOk;
}

// Sets gOffset from --offset, whose range was checked when the options were read. Returns true.
bool loadOffset(const Options& options)
{
    gOffset = options.offset.value_or(0);
    return true;
}

// Builds the content to hide and its kind. Returns an exit status other than kExitOk on failure.
int buildContent(const Options& options, std::string& content, uint8_t& kind)
{
    kind = kKindMessage;
    const auto noteReplaced = [](size_t replaced, const char* what) {
        if (replaced > 0)
            say("Note: " + FormatNumber(static_cast<int64_t>(replaced)) + " character(s) of " + what +
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
            say("The file " + path + " is too large to hide: the hidden data is limited to 2 GiB.");
            return kExitRefused;
        }
        std::string data;
        if (Failure f = ReadWholeFile(standardInput ? "/dev/stdin" : path, data)) {
            say("Cannot read the file to hide: " + f.describe());
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
        say("No message to encode.");
        return kExitRefused;
    }
    return kExitOk;
}

// Writes bytes to standard output; false after a message when the system refuses them.
bool writeOut(std::string_view bytes)
{
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    if (written && std::fflush(stdout) == 0)
        return true;
    say(std::string("Cannot write to standard output: ") + std::strerror(errno));
    return false;
}

// Writes data to path (standard output for "-") unless a file is there and --force was not
// given. The file is replaced only once the new one is complete; a link there is replaced, not
// followed.
int saveTo(const std::string& path, const std::string& data, bool force)
{
    if (path == "-")
        return writeOut(data) ? kExitOk : kExitFailed;
    if (exists(path) && !force) {
        say("The file " + path + " exists already; give --force to replace it.");
        return kExitRefused;
    }
    if (const std::string what = NotAFileAt(path); !what.empty()) {
        say("Cannot save the decoded data as " + path + ": it is " + what + ", not a file.");
        return kExitRefused;
    }
    if (Failure f = WriteWholeFile(path, data)) {
        say("Cannot save the decoded data: " + f.describe());
        return kExitFailed;
    }
    return kExitOk;
}

// The rows of the picture at path, for the progress bar; 0 when it cannot be told. Only a file
// is read twice: from a pipe the codec must get every byte.
int64_t rowsOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    BitmapHeader header;
    Failure ignored;
    return ReadPictureHeader(path, header, ignored) == CodecStatus::Ok ? GeometryOf(header).rows : 0;
}

int exitStatusOf(CodecStatus status)
{
    switch (status) {
    case CodecStatus::Ok: return kExitOk;
    case CodecStatus::Refused: return kExitRefused;
    case CodecStatus::Aborted: return stoppedStatus();
    case CodecStatus::Failed: break;
    }
    return kExitFailed;
}

// Says what a sealing or opening that did not succeed means; returns its exit status.
int sealProblem(SealStatus status)
{
    switch (status) {
    case SealStatus::Ok: return kExitOk;
    case SealStatus::NotSealed:
    case SealStatus::Refused: say(kSealRefusedText); return kExitRefused;
    case SealStatus::TooCostly:
        say("The sealed box asks for more memory or work than this program gives a key derivation.");
        return kExitRefused;
    case SealStatus::Failed: break;
    }
    say("There is not enough memory for the key derivation.");
    return kExitFailed;
}

int runEncode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture))
        return kExitRefused;
    // A seal takes the password's UTF-8 bytes: any character will do.
    if (const int status = loadPassword(options, !options.seal); status != kExitOk)
        return status;
    if (!loadOffset(options))
        return kExitRefused;
    std::string content;
    uint8_t kind = 0;
    if (const int status = buildContent(options, content, kind); status != kExitOk)
        return status;
    std::string payload;
    if (options.seal) {
        if (options.password)
            say("Note: a password given with --password shows in the process list; --password-file and "
                "--ask-password keep it out of it.");
        std::string box;
        const SealStatus sealed = SealPayload(kind, content, gPassword, box);
        Wipe(content);
        if (sealed != SealStatus::Ok)
            return sealProblem(sealed);
        // Outside the seal only the plain format: never RC4 with the same password besides.
        payload = FrameFilePayload(kSealedName, box);
        kind = kKindFile;
    } else {
        payload = CryptPayload(content, gPassword);
    }

    gBytePos = gMsgStart = gMsgEnd = 0;
    gAbort = false;
    console.beginProgress("Encoding", rowsOf(options.picture), !options.quiet);
    CodecStatus status = CodecStatus::Failed;
    {
        const Pass pass;
        status = HideInPicture(options.picture, options.output, payload, kind, gOffset).status;
    }
    console.endProgress();
    if (status == CodecStatus::Aborted)
        say("Stopped: " + options.output + " was left as it was.");
    else if (status == CodecStatus::Ok && !options.quiet)
        say("Encoded " + FormatNumber(static_cast<int64_t>(payload.size())) + " bytes into " + options.output +
            " (groups " + FormatNumber(gMsgStart) + " to " + FormatNumber(gMsgEnd) + ").");
    return exitStatusOf(status);
}

// Saves a decoded file payload where --output says, under its stored name otherwise.
int saveFile(const Options& options, const std::string& text)
{
    FilePayload file;
    if (!SplitFilePayload(text, file)) {
        say("The hidden file's name runs past the end of its data: the password or the offset is probably "
            "wrong. Nothing was saved.");
        return kExitRefused;
    }
    if (LooksGarbledName(file.name))
        say("Note: the hidden file's name, \"" + shown(file.name) +
            "\", does not look like a name. Were the password and the offset right?");
    // The stored name comes from the picture: only its last component is used, and never with
    // control characters.
    const std::string name = Utf8FromAnsi(SafeFileName(file.name));
    std::string path = options.output;
    if (path.empty() || isDirectory(path)) {
        if (name.empty()) {
            say("The hidden file has no usable name; give one with --output.");
            return kExitRefused;
        }
        path = path.empty() ? name : path + (path.back() == '/' ? "" : "/") + name;
    }
    const int result = saveTo(path, file.data, options.force);
    if (result == kExitOk && !options.quiet && path != "-")
        say("Decoded file " + path + " (" + FormatNumber(static_cast<int64_t>(file.data.size())) + " bytes).");
    return result;
}

// Nothing is decoded when it could not be saved anyway. Returns an exit status.
int checkOutput(const Options& options)
{
    if (!options.output.empty() && options.output != "-") {
        const std::string what = NotAFileAt(options.output);
        if (!what.empty() && what != "a folder") {
            say("Cannot save the decoded data as " + options.output + ": it is " + what + ", not a file.");
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
        say("Error decoding " + options.picture + ": it holds no data at this offset.");
        return kExitFailed;
    }
    if (kind == kKindFile)
        return saveFile(options, text);
    if (!LooksLikeText(text))
        say("Note: the message does not look like text. Were the password and the offset right?");
    if (!options.output.empty()) {
        if (isDirectory(options.output)) {
            say("Cannot save the message as " + options.output + ": it is a folder, not a file.");
            return kExitRefused;
        }
        return saveTo(options.output, text, options.force);
    }
    return writeOut(Utf8FromAnsi(text)) ? kExitOk : kExitFailed;
}

// Opens a sealed box with the password and presents what it holds. Without a password the box
// is saved as it is, as the file that stored holds (when given), to be opened later.
int openBox(const Options& options, const std::string& box, const std::string& stored = {})
{
    if (gPassword.empty()) {
        if (stored.empty()) {
            say("The box is sealed: give its password with --password-file, --ask-password or --password.");
            return kExitRefused;
        }
        say("The hidden data is sealed; it is saved as it is. Open it with its password: mirel-cli open FILE "
            "--ask-password");
        return saveFile(options, stored);
    }
    uint8_t kind = kKindMessage;
    std::string payload;
    const SealStatus status = OpenSealedBox(box, gPassword, kind, payload);
    if (status != SealStatus::Ok)
        return sealProblem(status);
    if (!options.quiet)
        say("The hidden data was sealed, and it opened with the password.");
    const int result = present(options, kind, payload);
    Wipe(payload);
    return result;
}

int runDecode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture))
        return kExitRefused;
    if (const int status = loadPassword(options, false); status != kExitOk)
        return status;
    if (!loadOffset(options))
        return kExitRefused;
    if (const int status = checkOutput(options); status != kExitOk)
        return status;
    gAbort = false;
    console.beginProgress("Decoding", rowsOf(options.picture), !options.quiet);
    CodecResult decoded;
    {
        const Pass pass;
        // With --seal, whatever goes wrong means one thing: it says so once, below.
        std::optional<HoldMessages> hold;
        if (options.seal)
            hold.emplace();
        decoded = RevealFromPicture(options.picture);
    }
    console.endProgress();
    if (decoded.status == CodecStatus::Aborted)
        say("Stopped: nothing was decoded.");
    if (decoded.status == CodecStatus::Aborted || (decoded.status != CodecStatus::Ok && !options.seal))
        return exitStatusOf(decoded.status);

    // A sealed box opens by itself; with --seal nothing else is taken.
    std::string box;
    if (decoded.status == CodecStatus::Ok && FindSealedBox(decoded.payload, box))
        return openBox(options, box, decoded.payload);
    if (options.seal) {
        say(kSealRefusedText);
        return kExitRefused;
    }
    return present(options, decoded.kind, CryptPayload(decoded.payload, gPassword));
}

int runOpen(const Options& options)
{
    std::string box;
    if (Failure f = ReadWholeFile(options.picture, box)) {
        say("Cannot read the sealed file: " + f.describe());
        return f.code == ErrorCode::FileNotFound ? kExitRefused : kExitFailed;
    }
    if (!IsSealedBox(box)) {
        say(options.picture + " is not a sealed box.");
        return kExitRefused;
    }
    if (const int status = loadPassword(options, false); status != kExitOk)
        return status;
    if (const int status = checkOutput(options); status != kExitOk)
        return status;
    return openBox(options, box);
}

std::string jsonText(const std::string& text)
{
    std::string out = "\"";
    for (const char ch : text) {
        if (ch == '"' || ch == '\\')
            out += '\\';
        if (static_cast<unsigned char>(ch) < 0x20)
            continue;
        out += ch;
    }
    return out + "\"";
}

// What info says of the data hidden at the offset: its size, whether it is sealed and, with the
// password, what the seal holds. Reads and writes nothing else, and shows none of the decoder's
// messages: a picture may hold nothing at all.
struct HiddenFacts {
    std::string text;      // lines for the text output
    std::string json = "null";
    int status = kExitOk;  // kExitRefused for a seal that does not open
};

HiddenFacts lookAtHidden(const Options& options)
{
    HiddenFacts facts;
    if (!loadOffset(options) || loadPassword(options, false) != kExitOk) {
        facts.status = kExitRefused;
        return facts;
    }
    const int32_t offset = gOffset;
    CodecResult decoded;
    {
        const HoldMessages hold;
        decoded = RevealFromPicture(options.picture);
    }
    const std::string where = " at offset " + FormatNumber(offset);
    if (decoded.status != CodecStatus::Ok) {
        facts.text = "Hidden data:     none that fits" + where + "\n";
        return facts;
    }
    std::string box;
    const bool sealed = FindSealedBox(decoded.payload, box);
    const std::string bytes = std::to_string(decoded.payload.size());
    facts.text = decoded.payload.empty() ? "Hidden data:     none" + where + "\n"
                                         : "Hidden data:     " + FormatNumber(int64_t(decoded.payload.size())) +
                                               " bytes" + where + (sealed ? ", sealed\n" : ", not sealed\n");
    std::string contents = "null";
    if (sealed && !gPassword.empty()) {
        uint8_t kind = kKindMessage;
        std::string payload;
        const SealStatus status = OpenSealedBox(box, gPassword, kind, payload);
        FilePayload file;
        if (status != SealStatus::Ok) {
            facts.text += std::string("Sealed:          ") + kSealRefusedText + "\n";
            facts.status = kExitRefused;
        } else if (kind == kKindFile && SplitFilePayload(payload, file)) {
            facts.text += "Sealed:          a file, \"" + shown(file.name) + "\", " +
                          FormatNumber(int64_t(file.data.size())) + " bytes\n";
            contents = "{\"kind\": \"file\", \"name\": " + jsonText(Utf8FromAnsi(file.name)) +
                       ", \"bytes\": " + std::to_string(file.data.size()) + "}";
        } else {
            facts.text += "Sealed:          a message of " + FormatNumber(int64_t(payload.size())) + " bytes\n";
            contents = "{\"kind\": \"message\", \"bytes\": " + std::to_string(payload.size()) + "}";
        }
        Wipe(payload);
        Wipe(file.data);
    }
    facts.json = "{\"offset\": " + std::to_string(offset) + ", \"bytes\": " + bytes +
                 ", \"sealed\": " + (sealed ? "true" : "false") + ", \"contents\": " + contents + "}";
    return facts;
}

int runInfo(const Options& options)
{
    PictureFacts facts;
    Failure failure;
    if (ProbePicture(options.picture, facts, failure) != CodecStatus::Ok) {
        say("Cannot read the picture: " + failure.describe());
        return failure.code == ErrorCode::FileNotFound ? kExitRefused : kExitFailed;
    }
    if (facts.format == PictureFormat::Unknown) {
        say("Bitmap doesn't appear to be in Windows format.");
        return kExitRefused;
    }
    // The capacity the encoder honours: that of the plain bitmap a carrier is turned into, and
    // none for one it would not take.
    BitmapHeader header;
    int64_t capacity = 0;
    std::string problem;
    const bool converted = facts.format != PictureFormat::PlainBitmap;
    int64_t groups = 0;
    if (converted) {
        capacity = ConvertedCapacity(facts);
        groups = facts.width / kBytesPerPixel * facts.height;
    } else if (CheckCarrier(options.picture, header, capacity, failure) != CodecStatus::Ok) {
        problem = failure.describe();
    } else {
        groups = GeometryOf(header).groups;
    }
    const std::string formatText = facts.formatName + " (" + facts.layout + ")";

    const HiddenFacts hidden = lookAtHidden(options);
    std::string out;
    if (options.json) {
        out = "{\"width\": " + std::to_string(facts.width) + ", \"height\": " + std::to_string(facts.height) +
              ", \"bits_per_pixel\": " + std::to_string(facts.bitsPerPixel) + ", \"groups\": " +
              std::to_string(groups) + ", \"capacity\": " + std::to_string(capacity) +
              (problem.empty() ? std::string() : ", \"problem\": " + jsonText(problem)) +
              ", \"format\": " + jsonText(facts.formatName) + ", \"layout\": " + jsonText(facts.layout) +
              ", \"converted\": " + (converted ? "true" : "false") + ", \"hidden\": " + hidden.json + "}\n";
    } else {
        out = "Picture:         " + options.picture + "\n" + "Format:          " + formatText + "\n" +
              "Width:           " + FormatNumber(facts.width) + " pixels\n" + "Height:          " +
              FormatNumber(facts.height) + " pixels\n" + "Bits per pixel:  " + std::to_string(facts.bitsPerPixel) +
              "\n" + "Groups:          " + FormatNumber(groups) + "\n" +
              "Capacity:        " +
              (capacity > 0 ? FormatNumber(capacity) + " bytes of payload" : std::string("no room")) +
              (problem.empty() ? "" : " (" + problem + ")") + "\n" + hidden.text;
    }
    if (!writeOut(out))
        return kExitFailed;
    if (converted)
        say("Note: as a carrier this picture is first turned into a plain 24-bit BMP with the same pixels" +
            std::string(facts.format == PictureFormat::Bitmap
                            ? "; hidden data in it is read from byte 54 as 24-bit rows, as in every BMP."
                            : "."));
    return hidden.status;
}

}  // namespace

int Run(const Options& options)
{
    ConsoleUi console;
    console.onYield = pollStop;
    InstallUi(&console);
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);

    int status = kExitOk;
    switch (options.command) {
    case Command::Encode: status = runEncode(options, console); break;
    case Command::Decode: status = runDecode(options, console); break;
    case Command::Open: status = runOpen(options); break;
    case Command::Info: status = runInfo(options); break;
    case Command::Help: status = writeOut(UsageText()) ? kExitOk : kExitFailed; break;
    case Command::Version:
        status = writeOut("mirel-cli " + AppVersionText() + "\n") ? kExitOk : kExitFailed;
        break;
    case Command::None: status = kExitUsage; break;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    InstallUi(nullptr);
    // Nothing of the password stays behind.
    Wipe(gPassword);
    return status;
}

}  // namespace mirel::cli
