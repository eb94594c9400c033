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

// For its lifetime, stands in for the services in use: passes yields and the settings request
// through, and holds back the messages (answering OK, or No to a question) so that the caller can
// say in one message what they mean.
class HoldMessages : public UiServices {
public:
    HoldMessages();
    ~HoldMessages() override;
    HoldMessages(const HoldMessages&) = delete;
    HoldMessages& operator=(const HoldMessages&) = delete;

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void yield() override { m_outer.yield(); }
    void askPasswordAndOffset() override { m_outer.askPasswordAndOffset(); }

    int held = 0;  // how many messages were held back

private:
    UiServices& m_outer;
    UiServices* m_installed;  // what was installed before, to put back
};

// Shorthands. The caption defaults to the program title.
int MsgBox(const std::string& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
           const std::string& caption = {});
void Yield();

}  // namespace mirel
