#include "RecordingUi.h"

#include "AppInfo.h"

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

void RecordingUi::record(const Messages& shown)
{
    for (const mirel::Message& message : shown)
        messageBox(message.text, AppTitle(), message.icon, MsgButtons::Ok);
}

int32_t RecordingUi::encode(const std::string& carrier, const std::string& destination, std::string_view payload,
                            uint8_t kind, int32_t& offset)
{
    CodecResult result = RefuseDestination(carrier, destination);
    BinaryFile source;
    if (result.status == CodecStatus::Ok) {
        if (Failure f = BinaryFile::openExisting(carrier, source))
            result = EncodingFailure(f);
        else
            result = HidePayloadAt(source, destination, payload, kind, offset);
    }
    record(result.messages);
    return ClassicEncodeResult(result.status);
}

CodecResult RecordingUi::decode(const std::string& picture, int32_t& offset)
{
    BinaryFile file;
    BitmapHeader header;
    CodecResult result;
    if (Failure f = BinaryFile::openExisting(picture, file))
        result = DecodingFailure(f);
    else
        result = CheckPicture(file, header);
    if (result.status == CodecStatus::Ok)
        result = RevealPayloadFrom(file, header, offset);
    record(result.messages);
    return result;
}

std::string RecordingUi::onlyMessage() const
{
    return messages.size() == 1 ? messages.front().text : std::string();
}

}  // namespace mirel::test
