#pragma once

#include "Ui.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace mirel::test {

// Installs itself for its lifetime and records what the logic showed, answers questions from a
// queue (Yes when it is empty) and runs optional hooks at each yield and settings request.
class RecordingUi : public UiServices {
public:
    struct Message {
        std::string text;
        std::string caption;
        MsgIcon icon;
        MsgButtons buttons;
    };

    RecordingUi();
    ~RecordingUi() override;

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void yield() override;
    void askPasswordAndOffset() override;

    std::vector<Message> messages;
    std::deque<int> answers;
    int yields = 0;
    int settingsRequests = 0;
    std::function<void(int yieldNumber)> onYield;
    std::function<void()> onAsk;

    // The text of the only message shown; empty when none or several were shown.
    std::string onlyMessage() const;
};

}  // namespace mirel::test
