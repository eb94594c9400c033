#include "ConsoleUi.h"

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
    ++m_rowsDone;
    if (onYield)
        onYield();
    if (m_bar)
        draw();
}

void ConsoleUi::beginProgress(const std::string& label, int64_t totalRows, bool showBar)
{
    m_label = label;
    m_total = totalRows > 0 ? totalRows : 0;
    m_rowsDone = 0;
    m_lastPermille = -1;
    m_bar = showBar && m_total > 0 && isatty(fileno(m_out));
    if (m_bar)
        draw();
}

void ConsoleUi::endProgress()
{
    if (m_bar) {
        std::fputs("\r\033[K", m_out);
        std::fflush(m_out);
    }
    m_bar = false;
}

void ConsoleUi::draw()
{
    const int64_t done = m_rowsDone < m_total ? m_rowsDone : m_total;
    const int permille = static_cast<int>(done * 1000 / m_total);
    if (permille == m_lastPermille)
        return;
    m_lastPermille = permille;
    const int filled = permille * kBarWidth / 1000;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), ' ');
    std::fprintf(m_out, "\r%s [%s] %3d%%", m_label.c_str(), bar.c_str(), permille / 10);
    std::fflush(m_out);
}

}  // namespace mirel
