#include "Ui.h"

#include "AppInfo.h"
#include "ConsoleUi.h"

namespace mirel {

namespace {
UiServices* gInstalled = nullptr;

UiServices& fallbackUi()
{
    static ConsoleUi console;
    return console;
}
}  // namespace

void InstallUi(UiServices* services)
{
    gInstalled = services;
}

UiServices& Ui()
{
    return gInstalled ? *gInstalled : fallbackUi();
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
