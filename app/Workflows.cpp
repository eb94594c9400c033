// The encode and decode workflows of the main window.
#include "frmMain.h"

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "MessageTextBox.h"
#include "NumberText.h"
#include "Paths.h"
#include "Payload.h"
#include "Settings.h"
#include "Ui.h"
#include "cDialog.h"
#include "frmSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <cmath>
#include <limits>

namespace mirel {

namespace {

constexpr int64_t kRequiredSizeLimit = std::numeric_limits<int32_t>::max();
// The carrier dialog asks for three pixels (nine bytes) for every byte of the stream.
constexpr int64_t kCarrierBytesPerByte = int64_t(kGroupBytes);

QString filterList(std::initializer_list<const char*> parts)
{
    QString list;
    for (const char* part : parts)
        list += QString::fromLatin1(part) + QChar(0);
    return list;
}

QString bitmapFilter()
{
    return filterList({"Bitmap Files (*.BMP)", "*.BMP", "All Files (*.*)", "*.*"});
}

QString allFilesFilter()
{
    return filterList({"All Files (*.*)", "*.*"});
}

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString nameOf(const QString& path)
{
    return QString::fromStdU16String(Utf16FromUtf8(FileNameFromPath(path.toStdString())));
}

// The required size of the carrier dialog's title, or -1 after a message when it does not fit
// 32 bits.
int64_t requiredSize(int64_t length, const QString& what)
{
    const int64_t required = (length + kLengthFieldSize) * kCarrierBytesPerByte;
    if (required <= kRequiredSizeLimit)
        return required;
    MsgBox((what + QStringLiteral(" is too large to hide: it has ")).toStdString() + FormatNumber(length) +
               " bytes, and a picture can take at most " +
               FormatNumber(kRequiredSizeLimit / kCarrierBytesPerByte - kLengthFieldSize) + ".",
           MsgIcon::Information);
    return -1;
}

}  // namespace

void frmMain::RunEncode(int sourceKind)
{
    if (!beginRun())
        return;
    cDialog dialog;
    QString chosenName;

    std::string content;
    uint8_t kind = kKindMessage;
    int64_t required = 0;
    if (sourceKind == 1) {
        const QString path = dialog.GetOpenName(this, chosenName, mDefaultDir, QStringLiteral("File To Encode"),
                                                allFilesFilter());
        if (path.isEmpty())
            return;
        const QString what = QStringLiteral("The file ") + path;
        if (requiredSize(QFileInfo(path).size(), what) < 0)
            return;
        std::string data;
        if (Failure f = ReadWholeFile(localPath(path), data)) {
            MsgBox("Cannot read file " + path.toStdString() + ":\r\n" + f.describe() + ".", MsgIcon::Information);
            return;
        }
        required = requiredSize(int64_t(data.size()), what);
        if (required < 0)
            return;
        content = FrameFilePayload(AnsiFromUtf16(nameOf(path).toStdU16String()), data);
        kind = kKindFile;
    } else {
        const QString text = txtMsg->text();
        if (text.isEmpty()) {
            MsgBox("No message to encode.\r\n\r\nEnter a message in the text box first", MsgIcon::Information);
            return;
        }
        content = AnsiFromUtf16(text.toStdU16String());
        required = requiredSize(int64_t(content.size()), QStringLiteral("The message"));
        if (required < 0)
            return;
    }

    if (!ShowSettings(this, true))
        return;
    mBusy = BusyState::Running;
    const std::string payload = CryptPayload(content, gPassword);

    const QString title = QStringLiteral("Bitmap To Encode (Req Size: ") +
                          QString::fromStdString(FormatNumber(required)) + QStringLiteral(" / ") +
                          QString::fromStdString(FormatNumber(std::llround(double(required) / 1024.0 + 1.0))) +
                          QStringLiteral("k)");
    const QString source = dialog.GetOpenName(this, chosenName, mDefaultDir, title, bitmapFilter());
    if (source.isEmpty()) {
        endRun();
        return;
    }
    mDefaultDir.clear();
    QString destinationName;
    const QString destination = dialog.GetSaveName(this, destinationName, QString(),
                                                   QStringLiteral("Save Encoded Bitmap As"), bitmapFilter(),
                                                   QStringLiteral("bmp"));
    if (destination.isEmpty()) {
        endRun();
        return;
    }

    const QString name = nameOf(destination);
    setStatus(QStringLiteral(" Encoding ") + name);
    Yield();
    const CodecResult result = HidePayload(localPath(source), localPath(destination), payload, kind, gOffset);
    setStatus((result.status != CodecStatus::Ok ? QStringLiteral(" Error Encoding ") : QStringLiteral(" Encoded ")) +
              name);
    if (gAbort)
        setStatus(QStringLiteral(" User Aborted Encoding ") + name);
    endRun();
}

void frmMain::RunDecode()
{
    if (!beginRun())
        return;
    cDialog dialog;
    QString chosenName;
    const QString bitmap = dialog.GetOpenName(this, chosenName, mDefaultDir, QStringLiteral("Decode Bitmap"),
                                              bitmapFilter());
    if (bitmap.isEmpty())
        return;
    mBusy = BusyState::Running;
    const QString bitmapName = nameOf(bitmap);
    setStatus(QStringLiteral(" Decoding ") + bitmapName);
    Yield();

    const CodecResult decoded = RevealPayload(localPath(bitmap));
    const QString errorStatus = QStringLiteral(" Error decoding ") + bitmapName;
    if (decoded.status != CodecStatus::Ok) {
        setStatus(errorStatus);
    } else {
        std::string text = CryptPayload(decoded.payload, gPassword);
        if (text.empty()) {
            setStatus(errorStatus);
        } else {
            QString savePath;
            if (decoded.kind == kKindFile) {
                FilePayload file = SplitFilePayload(text);
                mDefaultDir.clear();
                // The stored name comes from the picture: offer only its last component.
                QString proposed = QString::fromStdU16String(
                    Utf16FromUtf8(FileNameFromPath(Utf8FromAnsi(file.name))));
                savePath = dialog.GetSaveName(this, proposed, QString(), QStringLiteral("Save File As"),
                                              allFilesFilter(), QString());
                text = std::move(file.data);
            }
            if (!savePath.isEmpty()) {
                if (Failure f = WriteWholeFile(localPath(savePath), text)) {
                    MsgBox("Cannot write file " + savePath.toStdString() + ":\r\n" + f.describe() + ".",
                           MsgIcon::Information);
                    setStatus(errorStatus);
                } else {
                    setStatus(QStringLiteral(" Decoded file ") + nameOf(savePath));
                }
            } else {
                txtMsg->setText(QString::fromStdU16String(Utf16FromAnsi(text)));
                setStatus(QStringLiteral(" Decoded ") + bitmapName);
            }
        }
    }
    if (gAbort)
        setStatus(QStringLiteral(" User Aborted Decoding ") + bitmapName);
    endRun();
}

}  // namespace mirel
