#pragma once

#include "Ui.h"

namespace mirel {

// The desktop program's services: message boxes and one round of the event loop per yield.
class QtUi : public UiServices {
public:
    QtUi() = default;

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void yield() override;
};

}  // namespace mirel
