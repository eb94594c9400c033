#include "InfoReport.h"

#include "CipherMirel.h"
#include "CodePage.h"
#include "NumberText.h"
#include "Payload.h"
#include "Pictures.h"
#include "Protection.h"
#include "Terminal.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace mirel::cli {

namespace {

QString qText(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// What info says of the data hidden at the offset: its size, whether it is sealed and, with the
// password, what the seal holds. Shows none of the decoder's messages: a picture may hold
// nothing at all.
struct HiddenFacts {
    std::string text;                 // lines for the text output
    QJsonValue json = QJsonValue::Null;
    int status = kExitOk;             // kExitRefused for a seal that does not open
};

// The line and the JSON of what a seal or the stealth layout (label) holds, once opened with the
// password.
void describeSealed(const Recovered& opened, HiddenFacts& facts, QJsonObject& hidden,
                    const std::string& label = "Sealed:          ")
{
    FilePayload file;
    if (opened.status != ProtectStatus::Ok) {
        facts.text += label + ProtectionText(opened.status) + "\n";
        facts.status = kExitRefused;
    } else if (opened.kind == kKindFile && SplitFilePayload(opened.content.view(), file)) {
        facts.text += label + "a file, \"" + Shown(file.name) + "\", " + FormatNumber(int64_t(file.data.size())) +
                      " bytes\n";
        hidden[QStringLiteral("contents")] = QJsonObject{{QStringLiteral("kind"), QStringLiteral("file")},
                                                         {QStringLiteral("name"), qText(Utf8FromAnsi(file.name))},
                                                         {QStringLiteral("bytes"), qint64(file.data.size())}};
    } else {
        facts.text += label + "a message of " + FormatNumber(int64_t(opened.content.size())) + " bytes\n";
        hidden[QStringLiteral("contents")] = QJsonObject{{QStringLiteral("kind"), QStringLiteral("message")},
                                                         {QStringLiteral("bytes"), qint64(opened.content.size())}};
    }
}

// True, with what it holds in facts, when a stealth payload opens with password.
bool lookForStealth(PictureToDecode& picture, std::u16string& password, HiddenFacts& facts)
{
    std::string key = Utf8FromUtf16(password);
    CodecResult found = RevealStealthFromPicture(picture, key);
    Wipe(key);
    if (found.status != CodecStatus::Ok)
        return false;
    Wipe(password);
    facts.text = "Hidden data:     " + FormatNumber(int64_t(found.payload.size())) + " bytes in the stealth layout\n";
    QJsonObject hidden{{QStringLiteral("offset"), QJsonValue::Null},
                       {QStringLiteral("bytes"), qint64(found.payload.size())},
                       {QStringLiteral("sealed"), false},
                       {QStringLiteral("stealth"), true}};
    Recovered opened{ProtectStatus::Ok, Protection::Stealth, found.kind, std::move(found.payload)};
    describeSealed(opened, facts, hidden, "Stealth:         ");
    opened.content.wipe();
    facts.json = hidden;
    return true;
}

HiddenFacts lookAtHidden(const Options& options)
{
    HiddenFacts facts;
    std::u16string password;
    int32_t offset = options.offset.value_or(0);
    bool validUtf8 = true;
    if (LoadPassword(options, false, Protection::Plain, password, &validUtf8) != kExitOk) {
        facts.status = kExitRefused;
        return facts;
    }
    const int32_t start = offset;
    PictureToDecode picture;
    CodecResult decoded = OpenToDecode(options.picture, picture);
    // A picture that starts with a sealed box holds no stealth layout: it is spared the attempt.
    if (decoded.status == CodecStatus::Ok && !password.empty() && !options.offset && !HoldsSealedBox(picture) &&
        lookForStealth(picture, password, facts))
        return facts;
    if (decoded.status == CodecStatus::Ok)
        decoded = RevealFromPicture(picture, offset);
    const std::string where = " at offset " + FormatNumber(start);
    if (decoded.status != CodecStatus::Ok) {
        facts.text = "Hidden data:     none that fits" + where + "\n";
        return facts;
    }
    // No hidden data is null in JSON, as the text says "none".
    if (decoded.payload.empty()) {
        facts.text = "Hidden data:     none" + where + "\n";
        return facts;
    }
    std::string box;
    const bool sealed = FindSealedBox(decoded.payload, box);
    facts.text = "Hidden data:     " + FormatNumber(int64_t(decoded.payload.size())) + " bytes" + where +
                 (sealed ? ", sealed\n" : ", not sealed\n");
    QJsonObject hidden{{QStringLiteral("offset"), start},
                       {QStringLiteral("bytes"), qint64(decoded.payload.size())},
                       {QStringLiteral("sealed"), sealed},
                       {QStringLiteral("stealth"), false},
                       {QStringLiteral("contents"), QJsonValue::Null}};
    if (sealed && !password.empty() && !validUtf8) {
        Say(kNotUtf8Text);
        facts.status = kExitRefused;
    } else if (sealed && !password.empty()) {
        Recovered opened = Recover(decoded.kind, decoded.payload, password, true);
        describeSealed(opened, facts, hidden);
        opened.content.wipe();
    }
    Wipe(password);
    facts.json = hidden;
    return facts;
}

// The capacity the encoder honours: that of the plain bitmap a carrier is turned into, and none
// for one it would not take (problem says why).
struct Room {
    int64_t groups = 0;
    int64_t capacity = 0;
    int64_t stealthCapacity = 0;  // of the stealth layout
    std::string problem;
};

Room roomOf(const Options& options, const PictureFacts& facts)
{
    Room room;
    if (facts.format != PictureFormat::PlainBitmap) {
        room.capacity = ConvertedCapacity(facts);
        room.groups = facts.width / kBytesPerPixel * facts.height;
        room.stealthCapacity = room.capacity > 0 ? StealthCapacity(facts.width * kBytesPerPixel * facts.height) : 0;
        return room;
    }
    BitmapHeader header;
    Failure failure;
    if (CheckCarrier(options.picture, header, room.capacity, failure) != CodecStatus::Ok) {
        room.problem = failure.describe();
    } else {
        room.groups = GeometryOf(header).groups;
        room.stealthCapacity = StealthCapacity(GeometryOf(header));
    }
    return room;
}

std::string jsonReport(const PictureFacts& facts, const Room& room, bool converted, const HiddenFacts& hidden)
{
    QJsonObject report{{QStringLiteral("width"), qint64(facts.width)},
                       {QStringLiteral("height"), qint64(facts.height)},
                       {QStringLiteral("bits_per_pixel"), facts.bitsPerPixel},
                       {QStringLiteral("groups"), qint64(room.groups)},
                       {QStringLiteral("capacity"), qint64(room.capacity)},
                       {QStringLiteral("stealth_capacity"), qint64(room.stealthCapacity)},
                       {QStringLiteral("format"), qText(facts.formatName)},
                       {QStringLiteral("layout"), qText(facts.layout)},
                       {QStringLiteral("converted"), converted},
                       {QStringLiteral("hidden"), hidden.json}};
    if (!room.problem.empty())
        report[QStringLiteral("problem")] = qText(room.problem);
    return QJsonDocument(report).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string textReport(const Options& options, const PictureFacts& facts, const Room& room,
                       const HiddenFacts& hidden)
{
    return "Picture:         " + ShownPicture(options) + "\n" + "Format:          " + facts.formatName + " (" +
           facts.layout + ")\n" + "Width:           " + FormatNumber(facts.width) + " pixels\n" +
           "Height:          " + FormatNumber(facts.height) + " pixels\n" +
           "Bits per pixel:  " + std::to_string(facts.bitsPerPixel) + "\n" + "Groups:          " +
           FormatNumber(room.groups) + "\n" + "Capacity:        " +
           (room.capacity > 0 ? FormatNumber(room.capacity) + " bytes of payload" : std::string("no room")) +
           (room.problem.empty() ? "" : " (" + room.problem + ")") + "\n" + "Stealth layout:  " +
           (room.stealthCapacity > 0 ? FormatNumber(room.stealthCapacity) + " bytes of payload at most"
                                     : std::string("no room")) +
           "\n" + hidden.text;
}

}  // namespace

int RunInfo(const Options& options)
{
    PictureFacts facts;
    Failure failure;
    if (ProbePicture(options.picture, facts, failure) != CodecStatus::Ok) {
        Say("Cannot read the picture: " + failure.describe());
        return failure.code == ErrorCode::FileNotFound ? kExitRefused : kExitFailed;
    }
    if (facts.format == PictureFormat::Unknown) {
        Say("not a picture Mirel can read: " + ShownPicture(options));
        return kExitRefused;
    }
    const Room room = roomOf(options, facts);
    const bool converted = facts.format != PictureFormat::PlainBitmap;
    const HiddenFacts hidden = lookAtHidden(options);
    if (!WriteOut(options.json ? jsonReport(facts, room, converted, hidden) : textReport(options, facts, room, hidden)))
        return kExitFailed;
    if (converted)
        Say("Note: as a carrier this picture is first turned into a plain 24-bit BMP with the same pixels" +
            std::string(facts.deepChannels ? " (16-bit channels reduced to 8)" : "") +
            std::string(facts.format == PictureFormat::Bitmap
                            ? "; hidden data in it is read from byte 54 as 24-bit rows, as in every BMP."
                            : "."));
    return hidden.status;
}

}  // namespace mirel::cli
