#pragma once

#include "Ui.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace mirel {

// Services for a program without windows: message texts go to stderr, and a yield advances an
// optional progress bar.
class ConsoleUi : public UiServices {
public:
    explicit ConsoleUi(std::FILE* out = stderr);

    int messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void yield() override;
    void progress(int64_t done, int64_t total) override;

    // Draws a bar of how far the pass has come, as the codec reports it, when out is a terminal
    // and showBar is true. endProgress shows it full and ends its line when the pass completed,
    // and clears it otherwise.
    void beginProgress(const std::string& label, bool showBar);
    void endProgress(bool completed);

    // Called at each yield; a command-line program uses it to turn Ctrl+C into an abort.
    void (*onYield)() = nullptr;

private:
    void draw();

    std::FILE* m_out;
    std::string m_label;
    int m_permille = 0;
    int m_lastPermille = -1;
    bool m_bar = false;
};

// The text with CR LF pairs turned into plain line feeds, as a terminal wants it.
std::string ConsoleText(const std::string& text);

}  // namespace mirel
