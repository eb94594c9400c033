// The encode and decode workflows of the main window.
#include "frmMain.h"

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "MessageTextBox.h"
#include "NumberText.h"
#include "Paths.h"
#include "Payload.h"
#include "Pictures.h"
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

// The carrier's types: bitmaps first, then every picture that can be read.
QString carrierFilter()
{
    QStringList patterns;
    for (const std::string& extension : ReadablePictureExtensions())
        patterns << QStringLiteral("*.") + QString::fromStdString(extension);
    return filterList({"Bitmap Files (*.BMP)", "*.BMP"}) + QStringLiteral("All Pictures") + QChar(0) +
           patterns.join(u';') + QChar(0) + allFilesFilter();
}

// The new picture's types: the two that keep every bit.
QString outputFilter()
{
    return filterList({"Bitmap Files (*.BMP)", "*.BMP", "PNG Pictures (*.png)", "*.png", "All Files (*.*)", "*.*"});
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

// The 8-bit bytes of text, after asking whether its characters without a code may become "?".
// False when the user would rather not.
bool storableBytes(const QString& text, std::string& bytes)
{
    size_t replaced = 0;
    bytes = AnsiFromUtf16(text.toStdU16String(), &replaced);
    if (replaced == 0)
        return true;
    return MsgBox(FormatNumber(static_cast<int64_t>(replaced)) +
                      " characters cannot be stored and will be saved as '?'. Continue?",
                  MsgIcon::Warning, MsgButtons::YesNo) == kAnswerYes;
}

// The name to propose for a decoded file, after saying so when the stored one looks like the
// product of a wrong password or offset. Only its last component, without control characters.
QString proposedName(const std::string& storedName)
{
    if (LooksGarbledName(storedName))
        MsgBox("The name of the hidden file, \"" + Utf8FromAnsi(Printable(storedName)) +
                   "\", does not look like a name.\r\n\r\nThe password or the offset was probably wrong.",
               MsgIcon::Information);
    return QString::fromStdU16String(Utf16FromAnsi(SafeFileName(storedName)));
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
        std::string name;
        if (required < 0 || !storableBytes(nameOf(path), name))
            return;
        content = FrameFilePayload(name, data);
        kind = kKindFile;
    } else {
        const QString text = txtMsg->text();
        if (text.isEmpty()) {
            MsgBox("No message to encode.\r\n\r\nEnter a message in the text box first", MsgIcon::Information);
            return;
        }
        if (!storableBytes(text, content))
            return;
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
    const QString source = dialog.GetOpenName(this, chosenName, mDefaultDir, title, carrierFilter());
    if (source.isEmpty()) {
        endRun();
        return;
    }
    mDefaultDir.clear();
    QString destinationName;
    const QString destination = dialog.GetSaveName(this, destinationName, QString(),
                                                   QStringLiteral("Save Encoded Bitmap As"), outputFilter(),
                                                   QStringLiteral("bmp"));
    if (destination.isEmpty()) {
        endRun();
        return;
    }

    const QString name = nameOf(destination);
    setStatus(QStringLiteral(" Encoding ") + name);
    Yield();
    // A run that fails or is aborted leaves the destination as it was.
    const CodecResult result = HideInPicture(localPath(source), localPath(destination), payload, kind, gOffset);
    setStatus((result.status != CodecStatus::Ok ? QStringLiteral(" Error Encoding ") : QStringLiteral(" Encoded ")) +
              name);
    if (gAbort || result.status == CodecStatus::Aborted)
        setStatus(QStringLiteral(" User Aborted Encoding ") + name);
    endRun();
}

void frmMain::RunDecode(const QString& proposed)
{
    if (!beginRun())
        return;
    cDialog dialog;
    QString chosenName;
    const QString bitmap = dialog.GetOpenName(this, chosenName, mDefaultDir, QStringLiteral("Decode Bitmap"),
                                              bitmapFilter(), proposed);
    // A cancelled dialog hands back the name it proposed, but no chosen name.
    if (bitmap.isEmpty() || chosenName.isEmpty())
        return;
    mBusy = BusyState::Running;
    const QString bitmapName = nameOf(bitmap);
    setStatus(QStringLiteral(" Decoding ") + bitmapName);
    Yield();

    const CodecResult decoded = RevealFromPicture(localPath(bitmap));
    if (decoded.status == CodecStatus::Ok)
        presentDecoded(dialog, decoded, bitmapName);
    else
        setStatus(QStringLiteral(" Error decoding ") + bitmapName);
    // An aborted decode shows and writes nothing.
    if (gAbort || decoded.status == CodecStatus::Aborted)
        setStatus(QStringLiteral(" User Aborted Decoding ") + bitmapName);
    endRun();
}

void frmMain::presentDecoded(cDialog& dialog, const CodecResult& decoded, const QString& bitmapName)
{
    const QString errorStatus = QStringLiteral(" Error decoding ") + bitmapName;
    std::string text = CryptPayload(decoded.payload, gPassword);
    if (text.empty()) {
        setStatus(errorStatus);
        return;
    }
    QString savePath;
    if (decoded.kind == kKindFile) {
        FilePayload file;
        if (!SplitFilePayload(text, file)) {
            MsgBox("The name of the hidden file runs past the end of its data.\r\n\r\nThe password or the offset "
                   "was probably wrong; nothing was saved.",
                   MsgIcon::Information);
            setStatus(errorStatus);
            return;
        }
        mDefaultDir.clear();
        QString proposed = proposedName(file.name);
        savePath = dialog.GetSaveName(this, proposed, QString(), QStringLiteral("Save File As"), allFilesFilter(),
                                      QString());
        text = std::move(file.data);
    }
    if (!savePath.isEmpty()) {
        // The file is replaced only once the new content is complete.
        if (Failure f = WriteWholeFile(localPath(savePath), text)) {
            MsgBox("Cannot write file " + savePath.toStdString() + ":\r\n" + f.describe() + ".", MsgIcon::Information);
            setStatus(errorStatus);
        } else {
            setStatus(QStringLiteral(" Decoded file ") + nameOf(savePath));
        }
        return;
    }
    txtMsg->setText(QString::fromStdU16String(Utf16FromAnsi(text)));
    const bool garbled = decoded.kind != kKindFile && !LooksLikeText(text);
    setStatus(QStringLiteral(" Decoded ") + bitmapName +
              (garbled ? QStringLiteral(" (not like text: wrong password or offset?)") : QString()));
}

}  // namespace mirel
