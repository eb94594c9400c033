// The encode and decode workflows of the main window.
#include "frmMain.h"

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "CodePage.h"
#include "CodecCalls.h"
#include "MessageBoxes.h"
#include "MessageTextBox.h"
#include "NumberText.h"
#include "Paths.h"
#include "Payload.h"
#include "Pictures.h"
#include "Protection.h"
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

// "All Pictures" with the patterns of the given extensions: the type an open dialog starts on,
// so that a folder of PNG pictures does not look empty.
QString allPicturesFilter(const std::vector<std::string>& extensions)
{
    QStringList patterns;
    for (const std::string& extension : extensions)
        patterns << QStringLiteral("*.") + QString::fromStdString(extension);
    return QStringLiteral("All Pictures") + QChar(0) + patterns.join(u';') + QChar(0);
}

// The carrier's types: every picture that can be read, then bitmaps and all files.
QString carrierFilter()
{
    return allPicturesFilter(ReadablePictureExtensions()) + bitmapFilter();
}

// The types a picture to decode may have: BMP and PNG, then bitmaps and all files.
QString decodeFilter()
{
    return allPicturesFilter({"bmp", "png"}) + bitmapFilter();
}

// The new picture's types: the two that keep every bit, the carrier's own first.
QString outputFilter(bool png)
{
    const QString bmp = filterList({"Bitmap Files (*.BMP)", "*.BMP"});
    const QString pngType = filterList({"PNG Pictures (*.png)", "*.png"});
    return (png ? pngType + bmp : bmp + pngType) + allFilesFilter();
}

// True when the carrier at path is a PNG: the new picture is proposed as one too.
bool isPngName(const QString& path)
{
    return path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString nameOf(const QString& path)
{
    return QString::fromStdU16String(Utf16FromUtf8(FileNameFromPath(path.toStdString())));
}

// The save dialog has asked before replacing a file; what it cannot tell (another user's file, a
// write-protected one, other hard links) is asked here, No by default. True to go ahead.
bool replaceConfirmed(const QString& path)
{
    const ReplaceLoss loss = ReplaceLossAt(localPath(path));
    if (!loss.any())
        return true;
    return MsgBox(nameOf(path).toStdString() + " already exists, and " + loss.reasons() +
                      ".\r\n\r\nReplace it anyway?",
                  MsgIcon::Warning, MsgButtons::YesNoDefaultNo) == kAnswerYes;
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
QString proposedName(std::string_view storedName)
{
    if (LooksGarbledName(storedName))
        MsgBox("The name of the hidden file, \"" + Utf8FromAnsi(Printable(storedName)) +
                   "\", does not look like a name.\r\n\r\nThe password or the offset was probably wrong.",
               MsgIcon::Information);
    return QString::fromStdU16String(Utf16FromAnsi(SafeFileName(storedName)));
}

// The title of the carrier dialog, with the carrier size that the stream asks for.
QString carrierTitle(int64_t required)
{
    return QStringLiteral("Bitmap To Encode (Req Size: ") + QString::fromStdString(FormatNumber(required)) +
           QStringLiteral(" / ") +
           QString::fromStdString(FormatNumber(std::llround(double(required) / 1024.0 + 1.0))) + QStringLiteral("k)");
}

}  // namespace

frmMain::RunScope::RunScope(frmMain& window) : m_window(window)
{
    if (window.mBusy != BusyState::Idle) {
        MsgBox("A process is currently running...", MsgIcon::Information);
        return;
    }
    gMsgStart = gMsgEnd = gBytePos = 0;
    gAbort = false;
    m_started = true;
}

frmMain::RunScope::~RunScope()
{
    if (m_started)
        m_window.endRun();
}

bool frmMain::gatherFile(cDialog& dialog, Content& content)
{
    QString chosenName;
    const QString path =
        dialog.GetOpenName(this, chosenName, mDefaultDir, QStringLiteral("File To Encode"), allFilesFilter());
    if (path.isEmpty())
        return false;
    const QString what = QStringLiteral("The file ") + path;
    if (requiredSize(QFileInfo(path).size(), what) < 0)
        return false;
    std::string data;
    if (Failure f = ReadWholeFile(localPath(path), data)) {
        MsgBox("Cannot read file " + path.toStdString() + ":\r\n" + f.describe() + ".", MsgIcon::Information);
        return false;
    }
    content.required = requiredSize(int64_t(data.size()), what);
    std::string name;
    if (content.required < 0 || !storableBytes(nameOf(path), name))
        return false;
    content.bytes = FrameFilePayload(name, data);
    content.kind = kKindFile;
    return true;
}

bool frmMain::gatherMessage(Content& content)
{
    const QString text = txtMsg->text();
    if (text.isEmpty()) {
        MsgBox("No message to encode.\r\n\r\nEnter a message in the text box first", MsgIcon::Information);
        return false;
    }
    if (!storableBytes(text, content.bytes))
        return false;
    content.kind = kKindMessage;
    content.required = requiredSize(int64_t(content.bytes.size()), QStringLiteral("The message"));
    return content.required >= 0;
}

bool frmMain::protect(Protection protection, Content& content, std::string& payload)
{
    // A copy for the thread: Clear Memory may wipe gPassword meanwhile.
    std::u16string password = gPassword;
    const ProtectStatus status =
        WhileYielding([&] { return Protect(protection, password, content.kind, content.bytes, payload); });
    Wipe(password);
    Wipe(content.bytes);
    if (status != ProtectStatus::Ok) {
        MsgBox(ProtectionText(status), MsgIcon::Information);
        return false;
    }
    content.sealed = protection == Protection::Sealed;
    if (content.sealed)
        content.required = (int64_t(payload.size()) + kLengthFieldSize) * kCarrierBytesPerByte;
    if (protection == Protection::Stealth)  // one bit a pixel byte at most, past the salt and the header
        content.required = 8 * (int64_t(payload.size()) + int64_t(kStealthTagSize)) + kStealthSaltSlots +
                           kStealthHeaderSlots;
    return true;
}

void frmMain::RunEncode(int sourceKind)
{
    const RunScope run(*this);
    if (!run)
        return;
    cDialog dialog;
    Content content;
    if (!(sourceKind == 1 ? gatherFile(dialog, content) : gatherMessage(content)))
        return;
    const Protection protection =
        Stealth() ? Protection::Stealth : StrongEncryption() ? Protection::Sealed : Protection::Plain;
    if (!ShowSettings(this, true, protection != Protection::Plain))
        return;
    if (protection != Protection::Plain && gPassword.empty()) {
        MsgBox(protection == Protection::Stealth ? "Stealth needs a password: enter one in the settings window."
                                                 : "Strong Encryption needs a password: enter one in the settings window.",
               MsgIcon::Information);
        return;
    }
    mBusy = BusyState::Running;
    std::string payload;
    if (!protect(protection, content, payload))
        return;

    QString chosenName;
    const QString source =
        dialog.GetOpenName(this, chosenName, mDefaultDir, carrierTitle(content.required), carrierFilter());
    if (source.isEmpty())
        return;
    mDefaultDir.clear();
    const QString destination = askDestination(dialog, isPngName(source));
    if (destination.isEmpty())
        return;

    const QString name = nameOf(destination);
    setStatus(QStringLiteral(" Encoding "), name);
    Yield();
    // A run that fails or is aborted leaves the destination as it was.
    const bool stealth = protection == Protection::Stealth;
    const int32_t result = stealth ? EncodeStealthPicture(localPath(source), localPath(destination), payload,
                                                          content.kind, gPassword)
                                   : EncodePicture(localPath(source), localPath(destination), payload, content.kind,
                                                   gOffset);
    Wipe(payload);
    if (result != 0)
        setStatus(QStringLiteral(" Error Encoding "), name);
    else
        setStatus(QStringLiteral(" Encoded "), name,
                  stealth ? QStringLiteral(" (stealth)") : content.sealed ? QStringLiteral(" (sealed)") : QString());
    if (gAbort)
        setStatus(QStringLiteral(" User Aborted Encoding "), name);
}

QString frmMain::askDestination(cDialog& dialog, bool png)
{
    for (;;) {
        QString destinationName;
        const QString destination =
            dialog.GetSaveName(this, destinationName, QString(), QStringLiteral("Save Encoded Bitmap As"),
                               outputFilter(png), png ? QStringLiteral("png") : QStringLiteral("bmp"));
        if (destination.isEmpty())
            return destination;
        if (!IsLossyPictureName(localPath(destination))) {
            if (replaceConfirmed(destination))
                return destination;
            continue;
        }
        // Asked again before anything is read or written.
        MsgBox("A picture saved as " + nameOf(destination).toStdString() +
                   " would change its pixels and lose what is hidden.\r\n\r\nChoose a name ending in .bmp or .png.",
               MsgIcon::Information);
    }
}

void frmMain::RunDecode(const QString& proposed)
{
    const RunScope run(*this);
    if (!run)
        return;
    cDialog dialog;
    QString chosenName;
    const QString bitmap = dialog.GetOpenName(this, chosenName, mDefaultDir, QStringLiteral("Decode Bitmap"),
                                              decodeFilter(), proposed);
    // A cancelled dialog hands back the name it proposed, but no chosen name.
    if (bitmap.isEmpty() || chosenName.isEmpty())
        return;
    mBusy = BusyState::Running;
    const QString bitmapName = nameOf(bitmap);
    setStatus(QStringLiteral(" Decoding "), bitmapName);
    Yield();

    // Whatever the picture holds opens by itself: stealth, sealed or not.
    bool stealth = false;
    std::string decoded = DecodePicture(this, localPath(bitmap), &stealth);
    if (stealth) {
        // Authenticated and deciphered already: nothing to open.
        presentDecoded(dialog, static_cast<uint8_t>(decoded[0]), decoded.substr(1), bitmapName,
                       QStringLiteral(" (stealth)"));
        Wipe(decoded);
    } else if (!decoded.empty()) {
        recover(dialog, decoded, bitmapName);
    } else {
        setStatus(QStringLiteral(" Error decoding "), bitmapName);
    }
    // An aborted decode shows and writes nothing.
    if (gAbort)
        setStatus(QStringLiteral(" User Aborted Decoding "), bitmapName);
}

void frmMain::recover(cDialog& dialog, const std::string& decoded, const QString& bitmapName)
{
    const auto storedKind = static_cast<uint8_t>(decoded[0]);
    const std::string_view stored = std::string_view(decoded).substr(1);
    std::u16string password = gPassword;
    Recovered recovered = WhileYielding([&] { return Recover(storedKind, stored, password, false); });
    Wipe(password);
    switch (recovered.status) {
    case ProtectStatus::Ok:
        presentDecoded(dialog, recovered.kind, std::move(recovered.content), bitmapName,
                       recovered.protection == Protection::Sealed ? QStringLiteral(" (sealed)") : QString());
        return;
    case ProtectStatus::NeedsPassword:
        // Without a password a sealed box is offered as the file it is stored as, to open later.
        presentDecoded(dialog, storedKind, std::string(stored), bitmapName, QString());
        return;
    default:
        MsgBox(ProtectionText(recovered.status), MsgIcon::Information);
        setStatus(QStringLiteral(" Error decoding "), bitmapName);
        return;
    }
}

void frmMain::presentDecoded(cDialog& dialog, uint8_t kind, HeldBytes text, const QString& bitmapName,
                             const QString& note)
{
    const auto errorStatus = [&] { setStatus(QStringLiteral(" Error decoding "), bitmapName); };
    if (text.empty()) {
        errorStatus();
        return;
    }
    QString savePath;
    std::string_view body = text.view();
    if (kind == kKindFile) {
        FilePayload file;
        if (!SplitFilePayload(text.view(), file)) {
            MsgBox("The name of the hidden file runs past the end of its data.\r\n\r\nThe password or the offset "
                   "was probably wrong; nothing was saved.",
                   MsgIcon::Information);
            errorStatus();
            return;
        }
        mDefaultDir.clear();
        QString proposed = proposedName(file.name);
        do {
            savePath = dialog.GetSaveName(this, proposed, QString(), QStringLiteral("Save File As"),
                                          allFilesFilter(), QString());
        } while (!savePath.isEmpty() && !replaceConfirmed(savePath));
        body = file.data;
    }
    if (!savePath.isEmpty()) {
        // The file is replaced only once the new content is complete.
        std::string lost;
        if (Failure f = WriteWholeFile(localPath(savePath), body, &lost)) {
            MsgBox("Cannot write file " + savePath.toStdString() + ":\r\n" + f.describe() + ".", MsgIcon::Information);
            errorStatus();
        } else {
            if (!lost.empty())
                MsgBox(lost, MsgIcon::Information);
            setStatus(QStringLiteral(" Decoded file "), nameOf(savePath), note);
        }
        text.wipe();
        return;
    }
    txtMsg->setText(QString::fromStdU16String(Utf16FromAnsi(body)));
    const bool garbled = kind != kKindFile && !LooksLikeText(body);
    setStatus(QStringLiteral(" Decoded "), bitmapName,
              note + (garbled ? QStringLiteral(" (not like text: wrong password or offset?)") : QString()));
    text.wipe();
}

}  // namespace mirel
