// Hiding in pictures of any kind, and reading from BMP and PNG pictures: the conversion of a
// carrier into the plain bitmap the codec works on, and the writing of the new picture.
#include "Pictures.h"

#include "BinaryFile.h"
#include "NumberText.h"
#include "PngRows.h"
#include "PngSplice.h"
#include "Probe.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <sys/statvfs.h>
#include <iterator>

namespace mirel {

namespace {

enum class Output { Bitmap, Png, Refused };

// The extensions of picture formats that change pixels (or may, as a TIFF with compression we
// cannot promise): what is hidden would not survive them.
constexpr const char* kLossyExtensions[] = {"jpg", "jpeg", "jpe", "webp", "gif", "heic", "heif", "avif", "jxl",
                                            "tif", "tiff"};

// The extension of the file name at the end of path, in lower case, without the dot.
std::string extensionOf(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
}

// ".png" writes a PNG; a lossy format is refused; any other name gets the plain bitmap.
Output outputOf(const std::string& path)
{
    if (IsLossyPictureName(path))
        return Output::Refused;
    return extensionOf(path) == "png" ? Output::Png : Output::Bitmap;
}

CodecResult outputRefusal(const std::string& destinationPath)
{
    return Refusal(Problem::LossyOutput, "The new picture cannot be saved as " + destinationPath +
                   ": a picture of that format changes the pixels and would lose what is hidden. Choose a name "
                   "ending in .bmp or .png (any other name is written as a BMP).");
}

CodecResult aborted()
{
    return CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}};
}

CodecResult ok(Messages messages = {})
{
    return CodecResult{CodecStatus::Ok, kKindMessage, {}, std::move(messages), {}};
}

// Turns the carrier in file into the plain bitmap that holds its pixels, in scratch.
Failure toPlainBitmap(BinaryFile& file, const PictureFacts& facts, BinaryFile& scratch, bool& transparent,
                      bool& aborted)
{
    aborted = false;
    if (Failure f = BinaryFile::createTemporary(file.path() + " (as a plain bitmap)", scratch))
        return f;
    if (facts.format == PictureFormat::Png)
        return PngToPlainBitmap(file, scratch, transparent, aborted);
    bool copied = false;
    if (facts.format == PictureFormat::Bitmap)
        if (Failure f = probe::CopyBitmapRows(file, scratch, copied); f || copied)
            return f;
    return probe::ReadWithQt(file.path(), scratch, transparent);
}

// Refuses, before anything is converted, a picture of more pixels than kMostPixels, or one whose
// plain bitmap the temporary folder has no room for; Ok otherwise.
CodecResult refuseBeyondLimits(const std::string& path, const PictureFacts& facts)
{
    if (facts.width > 0 && facts.height > kMostPixels / facts.width) {
        CodecResult refused = Refusal(Problem::Failed, "The picture " + path + " has " + FormatNumber(facts.width) +
                                                           " x " + FormatNumber(facts.height) +
                                                           " pixels, more than the " + FormatNumber(kMostPixels) +
                                                           " this program takes.");
        refused.failure = {ErrorCode::Overflow, path + ": more than " + FormatNumber(kMostPixels) + " pixels"};
        return refused;
    }
    const std::string folder = TemporaryFolder();
    struct statvfs room {};
    const int64_t needed =
        kHeaderSize + GeometryOf(PlainBitmapHeader(int32_t(facts.width), int32_t(facts.height))).stride * facts.height;
    if (::statvfs(folder.c_str(), &room) == 0 && int64_t(room.f_bavail) * int64_t(room.f_frsize) < needed)
        return EncodingFailure({ErrorCode::DiskFull, path + ": its plain bitmap needs " + FormatNumber(needed) +
                                                         " bytes in " + folder + ", which has " +
                                                         FormatNumber(int64_t(room.f_bavail) * int64_t(room.f_frsize)) +
                                                         " free"});
    return ok();
}

// A carrier ready for the encoder: the file itself when it is a plain bitmap, else the plain
// bitmap that holds its pixels.
struct Carrier {
    BinaryFile file;
    BinaryFile converted;
    BinaryFile* bitmap = nullptr;
};

// Opens the carrier at path and converts it where it must be. Ok, with a note on transparency
// that cannot be kept; Failed or Aborted otherwise.
CodecResult convertCarrier(const std::string& path, Carrier& carrier)
{
    if (Failure f = BinaryFile::openExisting(path, carrier.file))
        return EncodingFailure(f);
    PictureFacts facts;
    Failure failure;
    if (probe::ProbeOpen(carrier.file, facts, failure) != CodecStatus::Ok)
        return EncodingFailure(failure);
    carrier.bitmap = &carrier.file;
    if (facts.format != PictureFormat::Bitmap && facts.format != PictureFormat::Png &&
        facts.format != PictureFormat::Other)
        return ok();
    if (CodecResult refused = refuseBeyondLimits(path, facts); refused.status != CodecStatus::Ok)
        return refused;
    bool transparent = false;
    bool stopped = false;
    const Failure f = toPlainBitmap(carrier.file, facts, carrier.converted, transparent, stopped);
    if (stopped)
        return aborted();
    // A BMP that cannot be read as a picture is walked from byte 54 as it always was.
    if (f && facts.format == PictureFormat::Bitmap)
        return ok();
    if (f)
        return EncodingFailure(f);
    carrier.bitmap = &carrier.converted;
    Messages notes;
    if (transparent)
        notes.push_back({"The carrier " + path + " has transparent parts; the new picture cannot keep them and is "
                         "opaque.",
                         MsgIcon::Information});
    if (facts.deepChannels)
        notes.push_back({"The carrier " + path + " has 16-bit channels; the new picture has them reduced to 8.",
                         MsgIcon::Information});
    return ok(std::move(notes));
}

// Runs hide with a plain bitmap written aside as its destination, then puts the PNG of that bitmap
// in the destination's place, only once it is complete.
CodecResult hideAsPng(const std::string& destinationPath, const HideFn& hide)
{
    return HideAt(destinationPath, [&](const DestinationFn& destination) {
        BinaryFile bitmap;
        CodecResult result = hide([&](BinaryFile*& out) {
            out = &bitmap;
            return BinaryFile::createTemporary(destinationPath + " (as a plain bitmap)", bitmap);
        });
        if (result.status != CodecStatus::Ok)
            return result;
        BinaryFile* png = nullptr;
        bool stopped = false;
        Failure f = destination(png);
        if (!f)
            f = PlainBitmapToPng(bitmap, *png, stopped);
        if (stopped)
            return aborted();
        return f ? EncodingFailure(f) : result;
    });
}

// Hides the payload in the carrier's plain bitmap and puts the new picture in place, only once
// it is complete and checked: a bitmap is written there at once, a PNG is made from the bitmap
// written aside.
CodecResult writeNewPicture(BinaryFile& carrier, const std::string& destinationPath, Output output,
                            std::string_view payload, uint8_t kind, int32_t& offset)
{
    if (output == Output::Bitmap)
        return HidePayloadAt(carrier, destinationPath, payload, kind, offset);
    return hideAsPng(destinationPath, [&](const DestinationFn& into) {
        return HidePayloadInto(carrier, into, payload, kind, offset);
    });
}

// writeNewPicture for the stealth layout.
CodecResult writeStealthPicture(BinaryFile& carrier, const std::string& destinationPath, Output output,
                                std::string_view payload, uint8_t kind, std::string_view password)
{
    if (output == Output::Bitmap)
        return HideStealthAt(carrier, destinationPath, payload, kind, password);
    return hideAsPng(destinationPath, [&](const DestinationFn& into) {
        return HideStealthInto(carrier, into, payload, kind, password);
    });
}

// The way in for every layout: the destination's checks first (nothing is read when the picture
// could not be saved anyway), then splice when it takes the whole work on itself (true), or else
// the carrier turned into its plain bitmap and write given that; the carrier's notes go first.
CodecResult hideInCarrier(const std::string& carrierPath, const std::string& destinationPath,
                          const std::function<CodecResult(BinaryFile& carrier, Output output)>& write,
                          const std::function<bool(CodecResult& result)>& splice = {})
{
    const Output output = outputOf(destinationPath);
    if (output == Output::Refused)
        return outputRefusal(destinationPath);
    if (CodecResult refused = RefuseDestination(carrierPath, destinationPath); refused.status != CodecStatus::Ok)
        return refused;
    if (CodecResult spliced; splice && splice(spliced))
        return spliced;
    Carrier carrier;
    CodecResult converted = convertCarrier(carrierPath, carrier);
    if (converted.status != CodecStatus::Ok)
        return converted;
    CodecResult result = write(*carrier.bitmap, output);
    result.messages.insert(result.messages.begin(), converted.messages.begin(), converted.messages.end());
    return result;
}

}  // namespace

bool IsLossyPictureName(const std::string& path)
{
    const std::string extension = extensionOf(path);
    return std::any_of(std::begin(kLossyExtensions), std::end(kLossyExtensions),
                       [&](const char* lossy) { return extension == lossy; });
}

CodecResult HideStealthInPicture(const std::string& carrierPath, const std::string& destinationPath,
                                 std::string_view payload, uint8_t kind, std::string_view password)
{
    return hideInCarrier(carrierPath, destinationPath, [&](BinaryFile& carrier, Output output) {
        return writeStealthPicture(carrier, destinationPath, output, payload, kind, password);
    });
}

CodecResult HideInPicture(const std::string& carrierPath, const std::string& destinationPath,
                          std::string_view payload, uint8_t kind, int32_t& offset)
{
    // A PNG from a PNG: only what changes is compressed again, where the carrier allows it.
    const auto splice = [&](CodecResult& result) {
        BinaryFile png;
        return outputOf(destinationPath) == Output::Png && !BinaryFile::openExisting(carrierPath, png) &&
               png::SplicePng(png, destinationPath, payload, kind, offset, result);
    };
    return hideInCarrier(
        carrierPath, destinationPath,
        [&](BinaryFile& carrier, Output output) {
            return writeNewPicture(carrier, destinationPath, output, payload, kind, offset);
        },
        splice);
}

CodecResult OpenToDecode(const std::string& path, PictureToDecode& picture)
{
    PictureFacts facts;
    Failure failure = BinaryFile::openExisting(path, picture.file);
    if (!failure)
        probe::ProbeOpen(picture.file, facts, failure);
    if (!failure && facts.format == PictureFormat::Png) {
        if (CodecResult refused = refuseBeyondLimits(path, facts); refused.problem != Problem::None)
            return refused;
        auto rows = std::make_unique<PngBitmapRows>();
        failure = rows->open(picture.file, picture.header);
        picture.pngRows = std::move(rows);
        if (!failure)
            return ok();
    }
    if (failure)
        return DecodingFailure(failure);
    return CheckPicture(picture.file, picture.header);
}

CodecResult RevealFromPicture(PictureToDecode& picture, int32_t& offset)
{
    if (picture.pngRows)
        return RevealPayloadFromRows(*picture.pngRows, picture.header, offset);
    return RevealPayloadFrom(picture.file, picture.header, offset);
}

CodecResult RevealStealthFromPicture(PictureToDecode& picture, std::string_view password)
{
    if (!picture.pngRows) {
        CodecResult result = RevealStealthFrom(picture.file, picture.header, password);
        if (Failure f = picture.file.seek(kHeaderSize); f && result.status != CodecStatus::Ok)
            return DecodingFailure(f);
        return result;
    }
    // The stealth layout spreads over every row: a PNG is turned into its plain bitmap first, from
    // a file of its own, so that its rows are read as before afterwards.
    BinaryFile png;
    BinaryFile bitmap;
    bool transparent = false;
    bool stopped = false;
    Failure f = BinaryFile::openExisting(picture.file.path(), png);
    if (!f)
        f = toPlainBitmap(png, PictureFacts{PictureFormat::Png, "PNG", {}, 0, 0, 0}, bitmap, transparent, stopped);
    if (stopped)
        return aborted();
    if (!f)
        f = bitmap.seek(kHeaderSize);
    if (f)
        return DecodingFailure(f);
    return RevealStealthFrom(bitmap, picture.header, password);
}

bool HoldsSealedBox(PictureToDecode& picture)
{
    // A PNG's rows are not read twice for it: its decode tries the stealth layout first.
    return !picture.pngRows && HoldsSealedBoxAtStart(picture.file, picture.header);
}

}  // namespace mirel
