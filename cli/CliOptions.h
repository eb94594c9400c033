#pragma once

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
    std::string output;   // encode: the new picture; decode: --output ("-": standard output)
    Source source = Source::None;
    std::string sourceValue;  // the message text, or the path of the message file ("-": standard input) or the file
    std::optional<std::string> password;      // --password, UTF-8
    std::optional<std::string> passwordFile;  // --password-file, "-" for standard input
    bool askPassword = false;                 // --ask-password: typed at the terminal
    std::optional<std::string> offset;        // --offset, as typed; a whole number text
    bool seal = false;  // encode: seal the payload; decode: it must be sealed
    bool stealth = false;  // encode: the stealth layout; decode: nothing else is taken
    bool force = false;
    bool json = false;
    bool quiet = false;
};

// Parses the arguments after the program name. On a usage error returns nothing and sets error.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string UsageText();

}  // namespace mirel::cli
