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
#include "Settings.h"
#include "Ui.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sys/stat.h>

namespace mirel::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onInterrupt(int)
{
    gInterrupted = 1;
}

// Ctrl+C becomes an abort at the end of the current row, like the desktop program's close box.
void pollInterrupt()
{
    if (gInterrupted)
        gAbort = true;
}

void say(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
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

// Reads the password of --password or --password-file into gPassword. Returns false after a
// message when the file cannot be read.
bool loadPassword(const Options& options)
{
    gPassword.clear();
    if (options.password) {
        gPassword = Utf16FromUtf8(*options.password);
        return true;
    }
    if (!options.passwordFile)
        return true;
    std::string text;
    if (*options.passwordFile == "-") {
        std::getline(std::cin, text);
    } else {
        if (Failure f = ReadWholeFile(*options.passwordFile, text)) {
            say("Cannot read the password file: " + f.describe());
            return false;
        }
        text = text.substr(0, text.find('\n'));
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    gPassword = Utf16FromUtf8(text);
    return true;
}

// Sets gOffset from --offset. Returns false after a message when the number does not fit.
bool loadOffset(const Options& options)
{
    gOffset = 0;
    if (!options.offset)
        return true;
    const OffsetValue value = ValueOfOffsetText(*options.offset);
    if (!value.inRange) {
        say("The offset \"" + *options.offset + "\" is too large: it must lie between " +
            FormatNumber(INT32_MIN) + " and " + FormatNumber(INT32_MAX) + ".");
        return false;
    }
    gOffset = value.value;
    return true;
}

// Builds the content to hide and its kind. Returns an exit status other than kExitOk on failure.
int buildContent(const Options& options, std::string& content, uint8_t& kind)
{
    kind = kKindMessage;
    switch (options.source) {
    case Source::Message: {
        size_t replaced = 0;
        content = AnsiFromUtf8(options.sourceValue, &replaced);
        if (replaced > 0)
            say("Note: " + FormatNumber(static_cast<int64_t>(replaced)) +
                " character(s) of the message have no Windows-1252 code and are stored as \"?\".");
        return kExitOk;
    }
    case Source::MessageFile:
    case Source::File: {
        struct stat st {};
        if (::stat(options.sourceValue.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size > INT32_MAX - kLengthFieldSize - 256) {
            say("The file " + options.sourceValue + " is too large to hide: the hidden data is "
                "limited to 2 GiB.");
            return kExitRefused;
        }
        std::string data;
        if (Failure f = ReadWholeFile(options.sourceValue, data)) {
            say("Cannot read the file to hide: " + f.describe());
            return kExitFailed;
        }
        if (options.source == Source::MessageFile) {
            content = std::move(data);
            return kExitOk;
        }
        content = FrameFilePayload(AnsiFromUtf8(FileNameFromPath(options.sourceValue)), data);
        kind = kKindFile;
        return kExitOk;
    }
    case Source::None:
        break;
    }
    return kExitFailed;
}

// Writes data to path unless a file is there and --force was not given.
int saveTo(const std::string& path, const std::string& data, bool force)
{
    if (exists(path) && !force) {
        say("The file " + path + " exists already; give --force to replace it.");
        return kExitRefused;
    }
    if (Failure f = WriteWholeFile(path, data)) {
        say("Cannot save the decoded data: " + f.describe());
        return kExitFailed;
    }
    return kExitOk;
}

// The rows of the picture at path, for the progress bar; 0 when it cannot be told.
int64_t rowsOf(const std::string& path)
{
    BitmapHeader header;
    Failure ignored;
    return ReadPictureHeader(path, header, ignored) == CodecStatus::Ok ? GeometryOf(header).rows : 0;
}

// True when the bytes look like text in the 8-bit code page. Control characters and unassigned
// codes weigh three, other characters from 0x80 on one; text stays well under three tenths of its
// length, random bytes (what a wrong password or offset gives) come to about nine tenths.
bool looksLikeText(const std::string& bytes)
{
    if (bytes.empty())
        return true;
    size_t control = 0;
    size_t high = 0;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool unassigned = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F || unassigned)
            ++control;
        else if (b >= 0x80)
            ++high;
    }
    return (3 * control + high) * 10 <= 3 * bytes.size();
}

// The codec leaves an empty file where a picture path names nothing; on the command line a
// mistyped name should not leave such a file behind.
bool pictureExists(const std::string& path)
{
    if (exists(path))
        return true;
    say("Cannot open the picture " + path + ": File not found");
    return false;
}

int runEncode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture) || !loadPassword(options) || !loadOffset(options))
        return kExitRefused;
    std::string content;
    uint8_t kind = 0;
    if (const int status = buildContent(options, content, kind); status != kExitOk)
        return status;
    const std::string payload = CryptPayload(content, gPassword);

    gBytePos = gMsgStart = gMsgEnd = 0;
    gAbort = false;
    const bool outputExisted = exists(options.output);
    console.beginProgress("Encoding", rowsOf(options.picture), !options.quiet);
    const CodecStatus status = HidePayload(options.picture, options.output, payload, kind, gOffset).status;
    console.endProgress();
    // A stream that does not fit leaves a new picture holding only the header: useless here.
    struct stat st {};
    if (status == CodecStatus::Refused && !outputExisted && ::lstat(options.output.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode) && st.st_size == kHeaderSize)
        BinaryFile::remove(options.output);
    if (gAbort) {
        say("Aborted: " + options.output + " holds only the rows written so far.");
        return kExitAborted;
    }
    if (status != CodecStatus::Ok)
        return status == CodecStatus::Refused ? kExitRefused : kExitFailed;

    // Read back what was written: the groups that hold the stream must hold it.
    const std::string stream = LongToString(static_cast<int32_t>(payload.size())) + payload;
    std::string found;
    uint8_t foundKind = 0;
    const Failure failure = ReadStream(options.output, gMsgStart, static_cast<int64_t>(stream.size()), found, foundKind);
    if (failure || found != stream || foundKind != kind) {
        say("Checking " + options.output + " failed: it does not hold the data just written" +
            (failure ? " (" + failure.describe() + ")." : "."));
        return kExitFailed;
    }
    if (!options.quiet)
        say("Encoded " + FormatNumber(static_cast<int64_t>(payload.size())) + " bytes into " +
            options.output + " (groups " + FormatNumber(gMsgStart) + " to " + FormatNumber(gMsgEnd) +
            ").");
    return kExitOk;
}

int runDecode(const Options& options, ConsoleUi& console)
{
    if (!pictureExists(options.picture) || !loadPassword(options) || !loadOffset(options))
        return kExitRefused;
    gAbort = false;
    console.beginProgress("Decoding", rowsOf(options.picture), !options.quiet);
    const CodecResult decoded = RevealPayload(options.picture);
    console.endProgress();
    const bool aborted = gAbort;
    if (decoded.status != CodecStatus::Ok)
        return decoded.status == CodecStatus::Refused ? kExitRefused : kExitFailed;

    const std::string text = CryptPayload(decoded.payload, gPassword);
    if (text.empty()) {
        say("Error decoding " + options.picture + ": it holds no data at this offset.");
        return aborted ? kExitAborted : kExitFailed;
    }

    int result = kExitOk;
    if (decoded.kind == kKindFile) {
        const FilePayload file = SplitFilePayload(text);
        const std::string& data = file.data;
        // The stored name comes from the picture: only its last component is ever used.
        const std::string name = Utf8FromAnsi(FileNameFromPath(file.name));
        const bool usableName = !name.empty() && name != "." && name != "..";
        std::string path = options.output;
        if (path.empty() || isDirectory(path)) {
            if (!usableName) {
                say("The hidden file has no usable name; give one with --output.");
                return kExitRefused;
            }
            path = path.empty() ? name : path + (path.back() == '/' ? "" : "/") + name;
        }
        result = saveTo(path, data, options.force);
        if (result == kExitOk && !options.quiet)
            say("Decoded file " + path + " (" + FormatNumber(static_cast<int64_t>(data.size())) +
                " bytes).");
    } else {
        if (!looksLikeText(text))
            say("Note: the message does not look like text. Were the password and the offset right?");
        if (!options.output.empty()) {
            result = saveTo(options.output, text, options.force);
        } else {
            const std::string utf8 = Utf8FromAnsi(text);
            std::fwrite(utf8.data(), 1, utf8.size(), stdout);
            std::fflush(stdout);
        }
    }
    if (aborted) {
        say("Aborted: the data is incomplete.");
        return kExitAborted;
    }
    return result;
}

std::string jsonNumber(int64_t value)
{
    return std::to_string(value);
}

int runInfo(const Options& options)
{
    BitmapHeader header;
    Failure failure;
    switch (ReadPictureHeader(options.picture, header, failure)) {
    case CodecStatus::Refused:
        say("Bitmap doesn't appear to be in Windows format.");
        return kExitRefused;
    case CodecStatus::Failed:
        say("Cannot read the picture: " + failure.describe());
        return failure.code == ErrorCode::FileNotFound || failure.code == ErrorCode::InputPastEnd ? kExitRefused
                                                                                                   : kExitFailed;
    case CodecStatus::Ok:
        break;
    }
    const RowGeometry geometry = GeometryOf(header);
    const int64_t groups = std::max<int64_t>(geometry.groups, 0);
    const int64_t capacity = PayloadCapacity(geometry);

    if (options.json) {
        std::printf("{\"width\": %s, \"height\": %s, \"bits_per_pixel\": %d, \"groups\": %s, "
                    "\"capacity\": %s}\n",
                    jsonNumber(header.width()).c_str(), jsonNumber(header.height()).c_str(),
                    header.bitsPerPixel(), jsonNumber(groups).c_str(), jsonNumber(capacity).c_str());
    } else {
        std::printf("Picture:         %s\n", options.picture.c_str());
        std::printf("Width:           %s pixels\n", FormatNumber(header.width()).c_str());
        std::printf("Height:          %s pixels\n", FormatNumber(header.height()).c_str());
        std::printf("Bits per pixel:  %d\n", header.bitsPerPixel());
        std::printf("Groups:          %s\n", FormatNumber(groups).c_str());
        std::printf("Capacity:        %s bytes of payload\n", FormatNumber(capacity).c_str());
    }
    if (header.pixelDataOffset() != kHeaderSize)
        say("Warning: the header puts the pixel data at byte " + FormatNumber(header.pixelDataOffset()) +
            ", not " + std::to_string(kHeaderSize) + "; hidden data is still walked from byte " +
            std::to_string(kHeaderSize) + " as 24-bit rows.");
    if (header.bitsPerPixel() != 8 * kBytesPerPixel)
        say("Warning: the picture has " + std::to_string(header.bitsPerPixel()) +
            " bits per pixel, not 24; hidden data is still walked from byte " +
            std::to_string(kHeaderSize) + " as 24-bit rows.");
    if (header.width() < 0)
        say("Warning: the width is negative; nothing can be hidden in this picture.");
    return kExitOk;
}

}  // namespace

int Run(const Options& options)
{
    ConsoleUi console;
    console.onYield = pollInterrupt;
    InstallUi(&console);
    std::signal(SIGINT, onInterrupt);

    int status = kExitOk;
    switch (options.command) {
    case Command::Encode: status = runEncode(options, console); break;
    case Command::Decode: status = runDecode(options, console); break;
    case Command::Info: status = runInfo(options); break;
    case Command::Help: std::fputs(UsageText().c_str(), stdout); break;
    case Command::Version: std::printf("mirel-cli %s\n", AppVersionText().c_str()); break;
    case Command::None: status = kExitUsage; break;
    }
    std::signal(SIGINT, SIG_DFL);
    InstallUi(nullptr);
    // Nothing of the password stays behind.
    gPassword.assign(gPassword.size(), u' ');
    gPassword.clear();
    return status;
}

}  // namespace mirel::cli
