#include "RecordingUi.h"

namespace mirel::test {

RecordingUi::RecordingUi()
{
    InstallUi(this);
}

RecordingUi::~RecordingUi()
{
    InstallUi(nullptr);
}

int RecordingUi::messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                            MsgButtons buttons)
{
    messages.push_back({text, caption, icon, buttons});
    if (buttons == MsgButtons::Ok)
        return kAnswerOk;
    if (answers.empty())
        return kAnswerYes;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingUi::yield()
{
    ++yields;
    if (onYield)
        onYield(yields);
}

void RecordingUi::askPasswordAndOffset()
{
    ++settingsRequests;
    if (onAsk)
        onAsk();
}

std::string RecordingUi::onlyMessage() const
{
    return messages.size() == 1 ? messages.front().text : std::string();
}

}  // namespace mirel::test
