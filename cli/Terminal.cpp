#include "Terminal.h"

#include "BinaryFile.h"
#include "CodePage.h"
#include "ConsoleUi.h"
#include "CipherMirel.h"
#include "NumberText.h"
#include "Payload.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace mirel::cli {

namespace {

volatile std::sig_atomic_t gSignal = 0;
volatile std::sig_atomic_t gInPass = 0;
// A hang-up is a stop unless the program was started to outlive it (nohup).
bool gHangUpHandled = false;

void onStopSignal(int signal)
{
    gSignal = signal;
    if (!gInPass) {
        RemoveUnfinishedOutputs();
        ::_exit(kExitSignal + signal);
    }
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

// Reads a line from fd, a byte at a time and through no buffer but line, into line without its
// line break. line grows only by copies that are wiped, so that once it is wiped no byte of what
// was typed is left in memory.
void readLineFrom(int fd, std::string& line)
{
    line.clear();
    line.reserve(256);
    char ch = 0;
    while (::read(fd, &ch, 1) == 1 && ch != '\n') {
        if (line.size() == line.capacity()) {
            std::string larger;
            larger.reserve(line.capacity() * 2);
            larger.assign(line);
            Wipe(line);
            line.swap(larger);
        }
        line += ch;
    }
    ch = 0;
}

// Asks for a line at the terminal without echoing it. False when there is no terminal.
bool askAtTerminal(const char* prompt, std::string& line)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return false;
    if (::tcgetattr(tty, &gTerminalSettings) != 0) {
        ::close(tty);
        return false;
    }
    gTerminal = tty;
    const auto previousInt = std::signal(SIGINT, onSignalAtPrompt);
    const auto previousTerm = std::signal(SIGTERM, onSignalAtPrompt);
    termios quiet = gTerminalSettings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
    [[maybe_unused]] ssize_t ignored = ::write(tty, prompt, std::strlen(prompt));
    readLineFrom(tty, line);
    restoreTerminal();
    gTerminal = -1;
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    ::close(tty);
    return true;
}

// The first line of a password file or of standard input, without its line break. Returns an
// exit status.
int readPasswordLine(const std::string& path, std::string& text, std::string& from)
{
    if (path == "-") {
        readLineFrom(STDIN_FILENO, text);
        from = "standard input";
    } else {
        std::string whole;
        if (Failure f = ReadWholeFile(path, whole)) {
            Say("Cannot read the password file: " + f.describe());
            return kExitRefused;
        }
        text.assign(whole, 0, whole.find('\n'));
        Wipe(whole);
        from = "the password file " + path;
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return kExitOk;
}

// The password typed at the terminal, twice when encoding. Returns an exit status.
int askPassword(bool encoding, std::string& text)
{
    if (!askAtTerminal("Password: ", text)) {
        Say("--ask-password needs a terminal; give the password with --password-file instead.");
        return kExitUsage;
    }
    std::string again;
    if (encoding && (!askAtTerminal("The same password again: ", again) || again != text)) {
        Say("The two passwords are not the same; nothing was done.");
        return kExitRefused;
    }
    return kExitOk;
}

}  // namespace

void Say(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

void SayAll(const Messages& messages)
{
    for (const Message& message : messages)
        Say(ConsoleText(message.text));
}

bool WriteOut(std::string_view bytes)
{
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    if (written && std::fflush(stdout) == 0)
        return true;
    Say(std::string("Cannot write to standard output: ") + std::strerror(errno));
    return false;
}

std::string Shown(std::string_view storedBytes)
{
    return Utf8FromAnsi(Printable(storedBytes));
}

void InstallStopSignals()
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    struct sigaction hangUp {};
    gHangUpHandled = ::sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN;
    if (gHangUpHandled)
        std::signal(SIGHUP, onStopSignal);
}

void RemoveStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (gHangUpHandled)
        std::signal(SIGHUP, SIG_DFL);
}

Pass::Pass()
{
    gInPass = 1;
}

Pass::~Pass()
{
    gInPass = 0;
}

void PollStop()
{
    if (gSignal)
        gAbort = true;
}

int StoppedStatus()
{
    return kExitSignal + (gSignal ? static_cast<int>(gSignal) : SIGINT);
}

int LoadPassword(const Options& options, bool encoding, Protection protection, std::u16string& password,
                 bool* validUtf8)
{
    password.clear();
    std::string text;
    std::string from = "--password";
    int status = kExitOk;
    if (options.password) {
        text = *options.password;
    } else if (options.passwordFile) {
        status = readPasswordLine(*options.passwordFile, text, from);
    } else if (options.askPassword) {
        status = askPassword(encoding, text);
        from = "the terminal";
    } else {
        return kExitOk;
    }
    if (status == kExitOk && text.empty()) {
        Say("The password from " + from + " is empty. Without --password, --password-file or --ask-password "
            "nothing is enciphered.");
        status = kExitRefused;
    }
    const bool valid = IsValidUtf8(text);
    if (validUtf8)
        *validUtf8 = valid;
    if (status == kExitOk && !valid && protection == Protection::Sealed) {
        Say(kNotUtf8Text);
        status = kExitRefused;
    }
    if (status == kExitOk)
        password = Utf16FromUtf8(text);
    Wipe(text);
    if (status != kExitOk || !encoding)
        return status;
    const std::u16string missing = UnstorablePasswordCharacters(protection, password);
    if (missing.empty())
        return kExitOk;
    Say("The password holds " + FormatNumber(int64_t(missing.size())) +
        " different characters that Windows-1252 has no code for. Each of them would be stored as \"?\", so "
        "that any such character, or \"?\" itself, would open the picture. Choose a password of Western "
        "European letters, digits and signs, or seal the data with --seal.");
    Wipe(password);
    return kExitRefused;
}

void NoteUnstorablePassword(const std::u16string& password)
{
    const std::u16string missing = UnstorablePasswordCharacters(Protection::Plain, password);
    if (!missing.empty())
        Say("Note: " + FormatNumber(int64_t(missing.size())) +
            " different characters of the password have no Windows-1252 code; they count as \"?\", as they did "
            "when the picture was made.");
}

}  // namespace mirel::cli
