#include "CliOptions.h"

#include "Terminal.h"

#include "NumberText.h"
#include "OffsetText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

// The command line is declared with CLI11: every option once, with its value, what it does to the
// options, its help and the commands it goes with. CLI11 checks each option as it reads it, in the
// order given, which keeps the first mistake the one reported; Qt's QCommandLineParser would hand
// back strings only, with no notion of a command, and its own error texts.
//
// The commands are not CLI11 subcommands: options come before or after the command word, and
// after "--" the command and file names may look like options, which subcommands do not allow.

namespace mirel::cli {

namespace {

constexpr unsigned kEncode = 1;
constexpr unsigned kDecode = 2;
constexpr unsigned kOpen = 4;
constexpr unsigned kInfo = 8;
constexpr unsigned kEveryCommand = kEncode | kDecode | kOpen | kInfo;

struct CommandInfo {
    const char* name;
    Command command;
    unsigned bit;
    size_t fileCount;       // how many file names it takes
    const char* fileNames;  // what they are, in the refusal of another count
    const char* usage;      // its lines under "Usage:"
    const char* about;      // its lines in the list of commands
};

constexpr CommandInfo kCommands[] = {
    {"encode", Command::Encode, kEncode, 2, "CARRIER and OUTPUT",
     "  mirel-cli encode CARRIER OUTPUT (--message TEXT | --message-file FILE | --file FILE)\n"
     "                   [--password PW | --password-file FILE | --ask-password]\n"
     "                   [--seal | --stealth] [--offset N] [--force] [--quiet]\n",
     "  encode    write OUTPUT as a copy of CARRIER with the data hidden in it; an existing\n"
     "            OUTPUT is replaced (with --force) only once the new picture is complete\n"
     "            and checked\n"},
    {"decode", Command::Decode, kDecode, 1, "one PICTURE",
     "  mirel-cli decode PICTURE [--password PW | --password-file FILE | --ask-password]\n"
     "                   [--seal | --stealth] [--offset N] [--output PATH] [--force] [--quiet]\n",
     "  decode    get the hidden data back: a message goes to standard output, a file\n"
     "            is saved under its stored name in the current folder (or --output)\n"},
    {"open", Command::Open, kOpen, 1, "one SEALED-FILE",
     "  mirel-cli open SEALED-FILE [--password PW | --password-file FILE | --ask-password]\n"
     "                   [--output PATH] [--force] [--quiet]\n",
     "  open      open a sealed box saved as a file (sealed.mirel) as decode would\n"},
    {"info", Command::Info, kInfo, 1, "one PICTURE",
     "  mirel-cli info PICTURE [--password PW | --password-file FILE | --ask-password] [--offset N]\n"
     "                   [--json]\n",
     "  info      show the picture's format, size and how many bytes it can hide, and\n"
     "            whether what is hidden at the offset is sealed (with the password: what\n"
     "            it holds); nothing is written\n"},
};

constexpr const char* kAbout =
    "Hides a message or a file in the lowest bits of a picture's pixels, and gets it back.\n"
    "A carrier may be a BMP, a PNG, or any picture the installed Qt image readers take (JPEG,\n"
    "GIF, ...): all but a plain 24-bit BMP are first turned into one with the same pixels.\n"
    "OUTPUT is a PNG with those pixels when its name ends in .png, a plain 24-bit BMP under\n"
    "any other name; lossy formats such as .jpg would lose the hidden data and are refused.\n";

constexpr const char* kExitStatusText =
    "Exit status: 0 success, 1 input refused, 2 other failure, 64 usage error,\n"
    "130 stopped by Ctrl+C, 143 stopped by SIGTERM. A run that fails or is stopped\n"
    "leaves every file as it was.\n";

constexpr const char* kSources = "--message, --message-file and --file";
constexpr const char* kPasswords = "--password, --password-file and --ask-password";

// A mistake found while CLI11 reads the options; ends the parse.
struct UsageError {
    std::string message;
};

// --help or --version: the parse ends there, whatever follows.
struct Stop {
    Command command;
};

// What the options read so far amount to.
struct Parse {
    Options options;
    std::vector<const char*> oneOfGiven;      // the groups of which an option was given
    std::optional<std::string> offsetTooLarge;  // the last --offset, when it does not fit in 32 bits
};

void setSource(Parse& parse, Source source, const std::string& value)
{
    parse.options.source = source;
    parse.options.sourceValue = value;
}

// The forms the settings window takes, and nothing else around them. A number beyond 32 bits is
// refused only once the command line is known to be right otherwise, and not with a usage error.
void setOffset(Parse& parse, const std::string& text)
{
    int32_t value = 0;
    switch (CheckOffsetText(text, true, value)) {
    case OffsetCheck::NotANumber:
        throw UsageError {"--offset takes a whole number (40, 1e3, &H20, &O17), not \"" + text + "\""};
    case OffsetCheck::TooLarge:
    case OffsetCheck::TooNegative:
        parse.offsetTooLarge = text;
        parse.options.offset.reset();
        return;
    case OffsetCheck::Ok:
    case OffsetCheck::Negative:  // the codec refuses it, with its own message
        parse.offsetTooLarge.reset();
        parse.options.offset = value;
        return;
    }
}

struct OptionInfo {
    const char* names;  // as the help shows them, "-h, --help"
    const char* value;  // the name of its value in the help; nullptr for an option without one
    unsigned commands;  // the commands it goes with
    const char* help;   // its lines in the help's second column
    void (*apply)(Parse& parse, const std::string& value);
    const char* oneOf = nullptr;  // the group of which only one option may be given
    unsigned alsoTaken = 0;       // commands that take it without effect, as they always have
    const char* alias = nullptr;  // a name that is taken but not shown
};

const OptionInfo kOptions[] = {
    {"--message", "TEXT", kEncode, "hide TEXT (UTF-8; stored in Windows-1252)",
     [](Parse& p, const std::string& v) { setSource(p, Source::Message, v); }, kSources},
    {"--message-file", "FILE", kEncode, "hide the bytes of FILE unchanged, as a message; - is stdin",
     [](Parse& p, const std::string& v) { setSource(p, Source::MessageFile, v); }, kSources},
    {"--file", "FILE", kEncode, "hide FILE together with its name",
     [](Parse& p, const std::string& v) { setSource(p, Source::File, v); }, kSources},
    {"--password", "PW", kEveryCommand,
     "encipher or decipher with PW (RC4; no strong protection);\nit shows in the process list",
     [](Parse& p, const std::string& v) { p.options.password = v; }, kPasswords},
    {"--password-file", "FILE", kEveryCommand, "read the password from the first line of FILE; - is stdin",
     [](Parse& p, const std::string& v) { p.options.passwordFile = v; }, kPasswords},
    {"--ask-password", nullptr, kEveryCommand,
     "ask for the password at the terminal, without echo\n(twice when encoding)",
     [](Parse& p, const std::string&) { p.options.askPassword = true; }, kPasswords},
    {"--seal", nullptr, kEncode | kDecode,
     "encode: seal the data with the password (Argon2id and\nXChaCha20-Poly1305): a wrong password is known "
     "for certain;\ndecode: refuse what is not sealed. Sealed pictures are\nopened by decode without it.",
     [](Parse& p, const std::string&) { p.options.seal = true; }},
    {"--stealth", nullptr, kEncode | kDecode,
     "encode: hide the data in the stealth layout with the password:\nspread over the whole picture, nothing in "
     "clear, fewer\nchanges (no --offset); decode: take nothing else. With a\npassword, decode and info look for "
     "it without being told.",
     [](Parse& p, const std::string&) { p.options.stealth = true; }},
    {"--offset", "N", kEncode | kDecode | kInfo,
     "pass over N groups of three pixels before the data starts\n(a whole number such as 40, 1e3, &H20 or &O17)",
     setOffset},
    {"-o, --output", "PATH", kDecode | kOpen,
     "decode: write the message bytes or the file to PATH;\n"
     "- is stdout, a folder takes the file under its own name",
     [](Parse& p, const std::string& v) { p.options.output = v; }, nullptr, kEncode},
    {"-f, --force", nullptr, kEncode | kDecode | kOpen, "replace an existing OUTPUT or file",
     [](Parse& p, const std::string&) { p.options.force = true; }},
    {"--json", nullptr, kInfo, "info: print one JSON object",
     [](Parse& p, const std::string&) { p.options.json = true; }},
    {"-q, --quiet", nullptr, kEncode | kDecode | kOpen, "no progress bar and no word of success",
     [](Parse& p, const std::string&) { p.options.quiet = true; }, nullptr, kInfo},
    {"-h, --help", nullptr, kEveryCommand, "show this help",
     [](Parse&, const std::string&) { throw Stop {Command::Help}; }},
    {"--version", nullptr, 0, "show the version",
     [](Parse&, const std::string&) { throw Stop {Command::Version}; }},
};

// The help's lines for the options that go with the command of the given bit, or for every option.
std::string optionLines(unsigned commands)
{
    constexpr size_t kHelpColumn = 24;
    std::string text;
    for (const OptionInfo& option : kOptions) {
        if (commands != kEveryCommand && !(option.commands & commands))
            continue;
        std::string line = std::string("  ") + option.names;
        if (option.value)
            line += std::string(" ") + option.value;
        line.resize(std::max(kHelpColumn, line.size() + 2), ' ');
        for (const char* c = option.help; *c; ++c)
            line += *c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, *c);
        text += line + "\n";
    }
    return text;
}

// Declares every option to app, applying it to parse as soon as it is read. Returns the options
// in the order of kOptions; the last one takes the command and file names.
std::vector<CLI::Option*> declareOptions(CLI::App& app, Parse& parse)
{
    app.set_help_flag();  // --help is declared below, like every other option
    std::vector<CLI::Option*> declared;
    for (const OptionInfo& info : kOptions) {
        std::string names = info.names;
        names.erase(std::remove(names.begin(), names.end(), ' '), names.end());
        if (info.alias)
            names += std::string(",") + info.alias;
        const auto apply = [&parse, &info](const std::string& value) {
            const auto& given = parse.oneOfGiven;
            if (info.oneOf && std::find(given.begin(), given.end(), info.oneOf) != given.end())
                throw UsageError {std::string("give only one of ") + info.oneOf};
            if (info.oneOf)
                parse.oneOfGiven.push_back(info.oneOf);
            info.apply(parse, value);
        };
        CLI::Option* option = info.value ? app.add_option_function<std::string>(names, apply, info.help)
                                         : app.add_flag_callback(names, [apply] { apply({}); }, info.help);
        declared.push_back(option->trigger_on_parse());
    }
    CLI::Option* words = app.add_option("words", "the command, then its file names");
    declared.push_back(words->expected(0, -1)->allow_extra_args());
    return declared;
}

// Puts the arguments in the form in which CLI11 reads them as this command line always has: an
// option's value is the next argument or follows "=", even when empty; "--" ends the options; "-"
// is a file name and any other word that starts with "-" an option. CLI11 alone would read "-qh"
// as two options, "-5" as a file name and "--name=" as waiting for the next argument. Stops at
// the first word that cannot be taken, and sets error to why.
std::vector<std::string> canonicalWords(const CLI::App& app, const std::vector<std::string>& args,
                                        std::string& error)
{
    std::vector<std::string> words;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg == "--") {
            words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(k), args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const CLI::Option* option = app.get_option_no_throw(name);
        const bool takesValue = option && option->get_expected_min() > 0;
        if (!takesValue && equals != std::string::npos) {
            error = name + " takes no value";
            break;
        }
        if (!option) {
            error = "unknown option " + name;
            break;
        }
        if (!takesValue) {
            words.push_back(name);
        } else if (equals != std::string::npos) {
            words.insert(words.end(), {name, arg.substr(equals + 1)});
        } else if (k + 1 < args.size()) {
            words.insert(words.end(), {name, args[++k]});
        } else {
            error = name + " needs a value";
            break;
        }
    }
    return words;
}

const CommandInfo* findCommand(const std::string& name)
{
    for (const CommandInfo& info : kCommands) {
        if (name == info.name)
            return &info;
    }
    return nullptr;
}

// Checks what the options given amount to for the command. Returns an empty text when they fit,
// or the usage error.
std::string checkCommand(const CommandInfo& command, const std::vector<CLI::Option*>& declared,
                         const Parse& parse, size_t fileCount)
{
    const Options& options = parse.options;
    if (fileCount != command.fileCount)
        return std::string(command.name) + " takes " + command.fileNames;
    if (command.command == Command::Encode && options.source == Source::None)
        return "encode needs --message, --message-file or --file";
    for (size_t k = 0; k < std::size(kOptions); ++k) {
        const OptionInfo& info = kOptions[k];
        if (declared[k]->count() > 0 && !((info.commands | info.alsoTaken) & command.bit))
            return std::string(info.oneOf ? info.oneOf : info.names) + " does not go with " + command.name;
    }
    const bool password = options.password || options.passwordFile || options.askPassword;
    if (command.command == Command::Encode && options.seal && !password)
        return "--seal needs a password: --password-file, --ask-password or --password";
    // The stealth layout has no place to start from and is a protection of its own.
    if (options.stealth && (options.offset || options.seal))
        return std::string("--stealth does not go with ") + (options.offset ? "--offset" : "--seal");
    if (options.stealth && !password)
        return "--stealth needs a password: --password-file, --ask-password or --password";
    return {};
}

}  // namespace

std::string UsageText(Command command)
{
    for (const CommandInfo& info : kCommands) {
        if (info.command == command)
            return std::string("Usage:\n") + info.usage + "\n" + info.about + "\nOptions:\n" + optionLines(info.bit);
    }
    std::string usage = "Usage:\n";
    std::string about;
    for (const CommandInfo& info : kCommands) {
        usage += info.usage;
        about += info.about;
    }
    return usage + "  mirel-cli --help | --version\n\n" + kAbout + "\n" + about + "\nOptions:\n" +
           optionLines(kEveryCommand) + "\n" + kExitStatusText;
}

int ShowHelp(Command command)
{
    return WriteOut(UsageText(command)) ? kExitOk : kExitFailed;
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, ParseError& error)
{
    Parse parse;
    CLI::App app("mirel-cli");
    const std::vector<CLI::Option*> declared = declareOptions(app, parse);
    const CLI::Option* words = declared.back();
    error = {};
    std::vector<std::string> canonical = canonicalWords(app, args, error.message);
    std::reverse(canonical.begin(), canonical.end());  // CLI11 takes the last one first
    try {
        app.parse(std::move(canonical));
    } catch (const UsageError& mistake) {
        error.message = mistake.message;
        return std::nullopt;
    } catch (const Stop& stop) {
        parse.options.command = stop.command;
        if (const CommandInfo* command = words->empty() ? nullptr : findCommand(words->results().front()))
            parse.options.helpCommand = command->command;
        return parse.options;
    } catch (const CLI::Error& mistake) {
        error.message = mistake.what();
        return std::nullopt;
    }
    if (!error.message.empty())
        return std::nullopt;

    std::vector<std::string> files = words->results();
    if (files.empty()) {
        error.message = "no command given";
        return std::nullopt;
    }
    const std::string name = files.front();
    files.erase(files.begin());
    Options& options = parse.options;
    if (name == "help") {
        // "help COMMAND" shows that command's help, as "COMMAND --help" does.
        options.command = Command::Help;
        if (const CommandInfo* asked = files.empty() ? nullptr : findCommand(files.front()))
            options.helpCommand = asked->command;
        return options;
    }
    const CommandInfo* command = findCommand(name);
    if (!command) {
        error.message = "unknown command " + name;
        return std::nullopt;
    }
    error.message = checkCommand(*command, declared, parse, files.size());
    if (!error.message.empty())
        return std::nullopt;
    if (parse.offsetTooLarge) {
        error = {kExitRefused, "The offset \"" + *parse.offsetTooLarge + "\" is too large: it must lie between 0 and " +
                                   FormatNumber(std::numeric_limits<int32_t>::max()) + "."};
        return std::nullopt;
    }
    options.command = command->command;
    options.picture = files[0];
    if (command->command == Command::Encode)
        options.output = files[1];
    return options;
}

}  // namespace mirel::cli
