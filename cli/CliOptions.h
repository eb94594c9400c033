#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mirel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;  // the input was refused
inline constexpr int kExitFailed = 2;   // any other failure
inline constexpr int kExitUsage = 64;   // the command line is wrong
inline constexpr int kExitSignal = 128;  // plus the signal's number: stopped by Ctrl+C (130) or SIGTERM (143)

enum class Command { None, Encode, Decode, Open, Info, Help, Version };
enum class Source { None, Message, MessageFile, File };

struct Options {
    Command command = Command::None;
    std::string picture;  // encode: the carrier; decode and info: the picture; open: the sealed box
    std::string pictureShown;  // what messages call the picture when it is not its path ("standard input")
    std::string output;   // encode: the new picture; decode: --output ("-": standard output)
    Source source = Source::None;
    std::string sourceValue;  // the message text, or the path of the message file ("-": standard input) or the file
    std::optional<std::string> password;      // --password, UTF-8
    std::optional<std::string> passwordFile;  // --password-file, "-" for standard input
    bool askPassword = false;                 // --ask-password: typed at the terminal
    std::optional<int32_t> offset;            // --offset; a negative one is left for the codec to refuse
    bool seal = false;  // encode: seal the payload; decode: it must be sealed
    bool force = false;
    bool json = false;
    bool quiet = false;
    Command helpCommand = Command::None;  // Help: the command whose help was asked for, None for all
};

// Why a command line cannot run.
struct ParseError {
    int status = kExitUsage;  // kExitUsage, or kExitRefused for an offset beyond 32 bits
    std::string message;      // one line, without the program's name
};

// What messages call the picture.
inline const std::string& ShownPicture(const Options& options)
{
    return options.pictureShown.empty() ? options.picture : options.pictureShown;
}

// Parses the arguments after the program name. Returns the options, or nothing after setting
// error. Help and version stop the parse where they stand: what follows them is not looked at.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, ParseError& error);

// The text of --help: the usage and options of one command (encode, decode, open or info), or of
// all of them for any other.
std::string UsageText(Command command = Command::None);

// Writes UsageText(command) to standard output. Returns kExitOk, or kExitFailed after a message on
// standard error when standard output does not take it.
int ShowHelp(Command command);

}  // namespace mirel::cli
