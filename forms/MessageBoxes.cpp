#include "MessageBoxes.h"

#include "AppInfo.h"

namespace mirel {

int MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& caption)
{
    return Ui().messageBox(text, caption.empty() ? std::string(AppTitle()) : caption, icon, buttons);
}

void ShowMessages(const Messages& messages)
{
    for (const Message& message : messages)
        MsgBox(message.text, message.icon);
}

}  // namespace mirel
