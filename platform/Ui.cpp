#include "Ui.h"

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
        return buttons == MsgButtons::Ok ? kAnswerOk : kAnswerNo;
    }
    void yield() override {}
};

UiServices* gInstalled = nullptr;

}  // namespace

void InstallUi(UiServices* services)
{
    gInstalled = services;
}

UiServices& Ui()
{
    static Unattended unattended;
    return gInstalled ? *gInstalled : unattended;
}

void Yield()
{
    Ui().yield();
}

void Progress(int64_t done, int64_t total)
{
    Ui().progress(done, total);
}

}  // namespace mirel
