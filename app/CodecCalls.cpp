#include "CodecCalls.h"

#include "CodePage.h"
#include "MessageBoxes.h"
#include "Pictures.h"
#include "Seal.h"
#include "frmSettings.h"

namespace mirel {

int32_t EncodePicture(const std::string& sourcePath, const std::string& destinationPath,
                      std::string_view payload, uint8_t kind, int32_t& offset)
{
    const CodecResult result = HideInPicture(sourcePath, destinationPath, payload, kind, offset);
    ShowMessages(result.messages);
    return ClassicEncodeResult(result.status);
}

int32_t EncodeStealthPicture(const std::string& sourcePath, const std::string& destinationPath,
                             std::string_view payload, uint8_t kind, const std::u16string& password)
{
    std::string key = Utf8FromUtf16(password);
    const CodecResult result = HideStealthInPicture(sourcePath, destinationPath, payload, kind, key);
    Wipe(key);
    ShowMessages(result.messages);
    return ClassicEncodeResult(result.status);
}

CodecResult ReadPicture(QWidget* mainWindow, const std::string& sourcePath, bool* stealth)
{
    if (stealth)
        *stealth = false;
    PictureToDecode picture;
    if (CodecResult opened = OpenToDecode(sourcePath, picture); opened.status != CodecStatus::Ok)
        return opened;
    ShowSettings(mainWindow, false);
    if (!gPassword.empty() && !HoldsSealedBox(picture)) {
        std::string key = Utf8FromUtf16(gPassword);
        CodecResult hidden = RevealStealthFromPicture(picture, key);
        Wipe(key);
        if (hidden.status == CodecStatus::Ok || hidden.status == CodecStatus::Aborted) {
            if (stealth)
                *stealth = hidden.status == CodecStatus::Ok;
            return hidden;
        }
    }
    return RevealFromPicture(picture, gOffset);
}

std::string DecodePicture(QWidget* mainWindow, const std::string& sourcePath, bool* stealth)
{
    const CodecResult result = ReadPicture(mainWindow, sourcePath, stealth);
    ShowMessages(result.messages);
    if (result.status != CodecStatus::Ok)
        return {};
    return static_cast<char>(result.kind) + result.payload;
}

}  // namespace mirel
