#pragma once

#include "CipherMirel.h"
#include "Ui.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace mirel::test {

// Installs itself for its lifetime and records what the logic showed, answers questions from a
// queue (Yes when it is empty) and runs an optional hook at each yield.
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
    // Records the messages a result handed up as a program shows them: with the program title.
    void record(const Messages& shown);

    // The codec's encoder and decoder on files, called as the programs call them for a carrier
    // that needs no conversion (refused destinations first; the new picture replaces the
    // destination once complete), with what they hand up recorded. encode returns 0 when the pass
    // ran (to its end, or until an abort), 1 when refused, 2 when it failed.
    int32_t encode(const std::string& carrier, const std::string& destination, std::string_view payload,
                   uint8_t kind, int32_t& offset);
    CodecResult decode(const std::string& picture, int32_t& offset);

    std::vector<Message> messages;
    std::deque<int> answers;
    int yields = 0;
    std::function<void(int yieldNumber)> onYield;

    // The text of the only message shown; empty when none or several were shown.
    std::string onlyMessage() const;
};

}  // namespace mirel::test
