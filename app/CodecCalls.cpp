#include "CodecCalls.h"

#include "MessageBoxes.h"
#include "Pictures.h"
#include "frmSettings.h"

namespace mirel {

int32_t EncodePicture(const std::string& sourcePath, const std::string& destinationPath,
                      std::string_view payload, uint8_t kind, int32_t& offset)
{
    const CodecResult result = HideInPicture(sourcePath, destinationPath, payload, kind, offset);
    ShowMessages(result.messages);
    return ClassicEncodeResult(result.status);
}

CodecResult ReadPicture(QWidget* mainWindow, const std::string& sourcePath)
{
    PictureToDecode picture;
    if (CodecResult opened = OpenToDecode(sourcePath, picture); opened.status != CodecStatus::Ok)
        return opened;
    ShowSettings(mainWindow, false);
    return RevealFromPicture(picture, gOffset);
}

std::string DecodePicture(QWidget* mainWindow, const std::string& sourcePath)
{
    const CodecResult result = ReadPicture(mainWindow, sourcePath);
    ShowMessages(result.messages);
    if (result.status != CodecStatus::Ok)
        return {};
    return static_cast<char>(result.kind) + result.payload;
}

}  // namespace mirel
