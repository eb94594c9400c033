#include "ConsoleUi.h"

#include <algorithm>

#include <unistd.h>

namespace mirel {

namespace {
constexpr int kBarWidth = 30;
}

std::string ConsoleText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n')
            continue;
        out += text[k];
    }
    return out;
}

ConsoleUi::ConsoleUi(std::FILE* out) : m_out(out) {}

int ConsoleUi::messageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons buttons)
{
    if (m_bar)
        std::fputs("\r\033[K", m_out);
    std::fprintf(m_out, "%s\n", ConsoleText(text).c_str());
    std::fflush(m_out);
    m_lastPermille = -1;
    // Nobody can answer a question here; No is the answer that changes nothing.
    return buttons == MsgButtons::Ok ? kAnswerOk : kAnswerNo;
}

void ConsoleUi::yield()
{
    if (onYield)
        onYield();
}

void ConsoleUi::progress(int64_t done, int64_t total)
{
    if (total <= 0)
        return;
    m_permille = static_cast<int>(std::clamp<int64_t>(done, 0, total) * 1000 / total);
    if (m_bar)
        draw();
}

void ConsoleUi::beginProgress(const std::string& label, bool showBar)
{
    m_label = label;
    m_permille = 0;
    m_lastPermille = -1;
    m_bar = showBar && isatty(fileno(m_out));
    if (m_bar)
        draw();
}

void ConsoleUi::endProgress(bool completed)
{
    if (m_bar && completed) {
        m_permille = 1000;
        draw();
        std::fputs("\n", m_out);
    } else if (m_bar) {
        std::fputs("\r\033[K", m_out);
    }
    std::fflush(m_out);
    m_bar = false;
}

void ConsoleUi::draw()
{
    if (m_permille == m_lastPermille)
        return;
    m_lastPermille = m_permille;
    const int filled = m_permille * kBarWidth / 1000;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), ' ');
    std::fprintf(m_out, "\r%s [%s] %3d%%", m_label.c_str(), bar.c_str(), m_permille / 10);
    std::fflush(m_out);
}

}  // namespace mirel
