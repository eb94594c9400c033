#include "CliOptions.h"

#include "OffsetText.h"

namespace mirel::cli {

std::string UsageText()
{
    return "Usage:\n"
           "  mirel-cli encode CARRIER OUTPUT (--message TEXT | --message-file FILE | --file FILE)\n"
           "                   [--password PW | --password-file FILE | --ask-password]\n"
           "                   [--seal | --stealth] [--offset N] [--quiet]\n"
           "  mirel-cli decode PICTURE [--password PW | --password-file FILE | --ask-password]\n"
           "                   [--seal | --stealth] [--offset N] [--output PATH] [--force] [--quiet]\n"
           "  mirel-cli open SEALED-FILE [--password PW | --password-file FILE | --ask-password]\n"
           "                   [--output PATH] [--force] [--quiet]\n"
           "  mirel-cli info PICTURE [--password PW | --password-file FILE | --ask-password] [--offset N]\n"
           "                   [--json]\n"
           "  mirel-cli --help | --version\n"
           "\n"
           "Hides a message or a file in the lowest bits of a picture's pixels, and gets it back.\n"
           "A carrier may be a BMP, a PNG, or any picture the installed Qt image readers take (JPEG,\n"
           "GIF, ...): all but a plain 24-bit BMP are first turned into one with the same pixels.\n"
           "OUTPUT is a plain 24-bit BMP or a PNG with those pixels, as its extension (.bmp or .png)\n"
           "says; lossy formats such as .jpg would lose the hidden data and are refused.\n"
           "\n"
           "  encode    write OUTPUT as a copy of CARRIER with the data hidden in it; OUTPUT\n"
           "            is replaced only once the new picture is complete and checked\n"
           "  decode    get the hidden data back: a message goes to standard output, a file\n"
           "            is saved under its stored name in the current folder (or --output)\n"
           "  open      open a sealed box saved as a file (sealed.mirel) as decode would\n"
           "  info      show the picture's format, size and how many bytes it can hide, and\n"
           "            whether what is hidden at the offset is sealed (with the password: what\n"
           "            it holds); nothing is written\n"
           "\n"
           "Options:\n"
           "  --message TEXT        hide TEXT (UTF-8; stored in Windows-1252)\n"
           "  --message-file FILE   hide the bytes of FILE unchanged, as a message; - is stdin\n"
           "  --file FILE           hide FILE together with its name\n"
           "  --password PW         encipher or decipher with PW (RC4; no strong protection);\n"
           "                        it shows in the process list\n"
           "  --password-file FILE  read the password from the first line of FILE; - is stdin\n"
           "  --ask-password        ask for the password at the terminal, without echo\n"
           "                        (twice when encoding)\n"
           "  --seal                encode: seal the data with the password (Argon2id and\n"
           "                        XChaCha20-Poly1305): a wrong password is known for certain;\n"
           "                        decode: refuse what is not sealed. Sealed pictures are\n"
           "                        opened by decode without it.\n"
           "  --stealth             encode: hide the data in the stealth layout with the password:\n"
           "                        spread over the whole picture, nothing in clear, fewer\n"
           "                        changes (no --offset); decode: take nothing else. With a\n"
           "                        password, decode and info look for it without being told.\n"
           "  --offset N            pass over N groups of three pixels before the data starts\n"
           "                        (a whole number such as 40, 1e3, &H20 or &O17)\n"
           "  --output PATH         decode: write the message bytes or the file to PATH;\n"
           "                        - is stdout, a folder takes the file under its own name\n"
           "  --force               decode: replace an existing file\n"
           "  --json                info: print one JSON object\n"
           "  --quiet               no progress bar\n"
           "  -h, --help            show this help\n"
           "  --version             show the version\n"
           "\n"
           "Exit status: 0 success, 1 input refused, 2 other failure, 64 usage error,\n"
           "130 stopped by Ctrl+C, 143 stopped by SIGTERM. A run that fails or is stopped\n"
           "leaves every file as it was.\n";
}

namespace {

bool takesValue(const std::string& name)
{
    return name == "--message" || name == "--message-file" || name == "--file" ||
           name == "--password" || name == "--password-file" || name == "--offset" ||
           name == "--output";
}

}  // namespace

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error)
{
    Options options;
    std::vector<std::string> positional;
    bool optionsEnded = false;

    auto setSource = [&](Source source, const std::string& value) {
        if (options.source != Source::None) {
            error = "give only one of --message, --message-file and --file";
            return false;
        }
        options.source = source;
        options.sourceValue = value;
        return true;
    };

    for (size_t k = 0; k < args.size(); ++k) {
        std::string arg = args[k];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' ) {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> value;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (takesValue(arg)) {
            if (!value) {
                if (k + 1 >= args.size()) {
                    error = arg + " needs a value";
                    return std::nullopt;
                }
                value = args[++k];
            }
        } else if (value) {
            error = arg + " takes no value";
            return std::nullopt;
        }

        if (arg == "-h" || arg == "--help") {
            options.command = Command::Help;
            return options;
        } else if (arg == "--version") {
            options.command = Command::Version;
            return options;
        } else if (arg == "--message") {
            if (!setSource(Source::Message, *value))
                return std::nullopt;
        } else if (arg == "--message-file") {
            if (!setSource(Source::MessageFile, *value))
                return std::nullopt;
        } else if (arg == "--file") {
            if (!setSource(Source::File, *value))
                return std::nullopt;
        } else if (arg == "--password" || arg == "--password-file" || arg == "--ask-password") {
            if (options.password || options.passwordFile || options.askPassword) {
                error = "give only one of --password, --password-file and --ask-password";
                return std::nullopt;
            }
            if (arg == "--ask-password")
                options.askPassword = true;
            else
                (arg == "--password" ? options.password : options.passwordFile) = *value;
        } else if (arg == "--offset") {
            // The forms the settings window takes, and nothing else around them.
            if (!ValueOfOffsetText(*value).whole) {
                error = "--offset takes a whole number (40, 1e3, &H20, &O17), not \"" + *value + "\"";
                return std::nullopt;
            }
            options.offset = *value;
        } else if (arg == "--output") {
            options.output = *value;
        } else if (arg == "--seal") {
            options.seal = true;
        } else if (arg == "--stealth") {
            options.stealth = true;
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }

    if (positional.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    const std::string command = positional.front();
    positional.erase(positional.begin());
    auto expectPositional = [&](size_t count, const char* names) {
        if (positional.size() != count) {
            error = command + " takes " + names;
            return false;
        }
        return true;
    };
    auto refuse = [&](bool present, const char* what) {
        if (present)
            error = std::string(what) + " does not go with " + command;
        return present;
    };

    if (command == "encode") {
        options.command = Command::Encode;
        if (!expectPositional(2, "CARRIER and OUTPUT"))
            return std::nullopt;
        options.picture = positional[0];
        options.output = positional[1];
        if (options.source == Source::None) {
            error = "encode needs --message, --message-file or --file";
            return std::nullopt;
        }
        if (refuse(options.force, "--force") || refuse(options.json, "--json"))
            return std::nullopt;
        if (options.seal && !options.password && !options.passwordFile && !options.askPassword) {
            error = "--seal needs a password: --password-file, --ask-password or --password";
            return std::nullopt;
        }
    } else if (command == "decode" || command == "open") {
        options.command = command == "open" ? Command::Open : Command::Decode;
        if (!expectPositional(1, command == "open" ? "one SEALED-FILE" : "one PICTURE"))
            return std::nullopt;
        options.picture = positional[0];
        if (refuse(options.source != Source::None, "--message, --message-file and --file") ||
            refuse(options.json, "--json") ||
            (command == "open" && (refuse(options.offset.has_value(), "--offset") || refuse(options.seal, "--seal"))) ||
            refuse(options.stealth && command == "open", "--stealth"))
            return std::nullopt;
    } else if (command == "info") {
        options.command = Command::Info;
        if (!expectPositional(1, "one PICTURE"))
            return std::nullopt;
        options.picture = positional[0];
        if (refuse(options.source != Source::None, "--message, --message-file and --file") ||
            refuse(!options.output.empty(), "--output") || refuse(options.force, "--force") ||
            refuse(options.seal, "--seal") || refuse(options.stealth, "--stealth"))
            return std::nullopt;
    } else if (command == "help") {
        options.command = Command::Help;
    } else {
        error = "unknown command " + command;
        return std::nullopt;
    }
    // The stealth layout has no place to start from and is a protection of its own.
    if (options.stealth && (options.offset || options.seal)) {
        error = std::string("--stealth does not go with ") + (options.offset ? "--offset" : "--seal");
        return std::nullopt;
    }
    if (options.stealth && !options.password && !options.passwordFile && !options.askPassword) {
        error = "--stealth needs a password: --password-file, --ask-password or --password";
        return std::nullopt;
    }
    return options;
}

}  // namespace mirel::cli
