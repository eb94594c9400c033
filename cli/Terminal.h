#pragma once

// mirel-cli's dealings with the terminal: what it says, stop signals during a pass, and the
// secrets it reads (a password from the command line, a file, standard input or the terminal).

#include "CliOptions.h"
#include "Protection.h"
#include "Ui.h"

#include <string>
#include <string_view>

namespace mirel::cli {

// Writes text and a line feed to standard error.
void Say(const std::string& text);
// Says each message, line breaks as a terminal wants them.
void SayAll(const Messages& messages);
// Writes bytes to standard output; false after a message when the system refuses them.
bool WriteOut(std::string_view bytes);
// A name from the picture, fit for a terminal: control characters escaped, in UTF-8.
std::string Shown(std::string_view storedBytes);

// Ctrl+C, SIGTERM and SIGHUP: during a pass over a picture (while a Pass lives) they become an
// abort at the end of the current row, so that the codec leaves every file as it was; anywhere
// else they end the program at once, taking the temporary name of an unfinished output along.
// A SIGHUP that the program was started to ignore (nohup) stays ignored.
// InstallStopSignals sets the handlers, RemoveStopSignals puts the defaults back.
void InstallStopSignals();
void RemoveStopSignals();
struct Pass {
    Pass();
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
};
// Turns a stop signal received during a pass into gAbort; called at each yield.
void PollStop();
// The exit status of a run that a signal stopped.
int StoppedStatus();

// Reads the password of --password, --password-file or --ask-password into password (UTF-16,
// empty when none was given), wiping every copy it made. A password that is given must not be
// empty; for Sealed it must be valid UTF-8 (validUtf8, when given, tells whether it was). For
// encoding (twice at the terminal) the characters that `protection` cannot keep apart are
// refused, said by their number, never shown. Returns an exit status.
int LoadPassword(const Options& options, bool encoding, Protection protection, std::u16string& password,
                 bool* validUtf8 = nullptr);

// Says, by their number, that characters of password count as "?" for a picture enciphered with
// RC4; nothing when there are none.
void NoteUnstorablePassword(const std::u16string& password);

// What a password that is not UTF-8 text gets when a seal needs it.
inline constexpr char kNotUtf8Text[] =
    "The password is not valid UTF-8 text: a seal takes it as text. Save the password file as UTF-8.";

}  // namespace mirel::cli
