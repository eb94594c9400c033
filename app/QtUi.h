#pragma once

#include "Ui.h"

class QWidget;

namespace mirel {

// The desktop program's services: message boxes, one round of the event loop per yield, and the
// settings window when the decoder asks for password and offset.
class QtUi : public UiServices {
public:
    // mainWindow gives the settings window its icon and its place; it must outlive this object.
    explicit QtUi(QWidget* mainWindow);

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void yield() override;
    void askPasswordAndOffset() override;

private:
    QWidget* m_mainWindow;
};

}  // namespace mirel
