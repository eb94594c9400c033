#pragma once

#include <string>

namespace mirel {

enum class MsgIcon { None, Information, Warning };
enum class MsgButtons { Ok, YesNo };

// What a message box returns: the button pressed.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// The user-facing services the logic calls. Each program installs its own: the desktop program
// message boxes and its event loop, mirel-cli the console, the tests a recording fake.
class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows text (UTF-8, line breaks as CR LF) modally and returns the button pressed.
    virtual int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                           MsgButtons buttons) = 0;
    // Runs the pending events once and returns. Called once per picture row by the codec.
    virtual void yield() = 0;
    // Lets the user set gPassword and gOffset before a picture is decoded. Returns when done;
    // how the user left it is not reported.
    virtual void askPasswordAndOffset() = 0;
};

// Installs the services used from now on; nullptr goes back to none (messages then go to standard
// error as they are, questions are answered No).
// The caller keeps ownership and must keep the object alive while it is installed.
void InstallUi(UiServices* services);
UiServices& Ui();

// Shorthands. The caption defaults to the program title.
int MsgBox(const std::string& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
           const std::string& caption = {});
void Yield();

}  // namespace mirel
