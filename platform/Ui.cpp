#include "Ui.h"

#include "AppInfo.h"

#include <cstdio>

namespace mirel {

namespace {

// Until a program installs its own services there is nobody to show anything to: a message goes
// to standard error as it is, a question is answered No, and there are no events to run.
class Unattended final : public UiServices {
public:
    int messageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons buttons) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
        return buttons == MsgButtons::YesNo ? kAnswerNo : kAnswerOk;
    }
    void yield() override {}
    void askPasswordAndOffset() override {}
};

UiServices* gInstalled = nullptr;

}  // namespace

void InstallUi(UiServices* services)
{
    gInstalled = services;
}

HoldMessages::HoldMessages() : m_outer(Ui()), m_installed(gInstalled)
{
    gInstalled = this;
}

HoldMessages::~HoldMessages()
{
    gInstalled = m_installed;
}

int HoldMessages::messageBox(const std::string&, const std::string&, MsgIcon, MsgButtons buttons)
{
    ++held;
    return buttons == MsgButtons::YesNo ? kAnswerNo : kAnswerOk;
}

UiServices& Ui()
{
    static Unattended unattended;
    return gInstalled ? *gInstalled : unattended;
}

int MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& caption)
{
    return Ui().messageBox(text, caption.empty() ? std::string(AppTitle()) : caption, icon, buttons);
}

void Yield()
{
    Ui().yield();
}

}  // namespace mirel
