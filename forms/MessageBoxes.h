#pragma once

#include "Ui.h"

#include <string>

namespace mirel {

// The windows' message boxes, through the services the program installed (Ui.h). The caption
// defaults to the program title. Returns the button pressed.
int MsgBox(const std::string& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
           const std::string& caption = {});

// Shows what the logic handed up, one box after the other, in the order given.
void ShowMessages(const Messages& messages);

}  // namespace mirel
