#include "Pictures.h"

#include "BinaryFile.h"
#include "PngRows.h"
#include "Ui.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

namespace mirel {

namespace {

constexpr int kRowsPerYield = 64;
constexpr uint8_t kOpaque = 0xFF;

enum class Output { Bitmap, Png, Refused };

Output outputOf(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (extension == "bmp")
        return Output::Bitmap;
    if (extension == "png")
        return Output::Png;
    return Output::Refused;
}

int pngChannels(int colorType)
{
    switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

std::string pngLayout(const PngFacts& png)
{
    std::string colours;
    switch (png.colorType) {
    case 0: colours = "grey"; break;
    case 2: colours = "RGB"; break;
    case 3: colours = "palette"; break;
    case 4: colours = "grey and alpha"; break;
    default: colours = "RGB and alpha"; break;
    }
    return std::to_string(png.bitDepth) + "-bit " + colours + (png.interlaced ? ", interlaced" : "");
}

// What the picture in file is, from its first bytes; the file is back at its first byte after.
// A file that cannot go back (a pipe) is taken as a plain bitmap, as it always was.
CodecStatus probeOpen(BinaryFile& file, PictureFacts& facts, Failure& failure)
{
    facts = PictureFacts();
    if (file.length() < 0) {
        facts.format = PictureFormat::PlainBitmap;
        facts.formatName = "BMP";
        return CodecStatus::Ok;
    }
    BitmapHeader header;
    size_t got = 0;
    failure = file.readSome(header.bytes, kHeaderSize, got);
    if (!failure)
        failure = file.seek(0);
    if (failure)
        return CodecStatus::Failed;

    if (got >= size_t(kSignatureSize) && header.hasSignature()) {
        facts.formatName = "BMP";
        facts.format = got == size_t(kHeaderSize) && header.isPlain() ? PictureFormat::PlainBitmap
                                                                      : PictureFormat::Bitmap;
        facts.width = header.width();
        facts.height = std::abs(int64_t(header.height()));
        facts.bitsPerPixel = header.bitsPerPixel();
        facts.layout = std::to_string(header.bitsPerPixel()) + " bits a pixel, pixels at byte " +
                       std::to_string(header.pixelDataOffset()) + (header.height() < 0 ? ", top row first" : "");
        return CodecStatus::Ok;
    }
    if (HasPngSignature(header.bytes, got)) {
        PngFacts png;
        failure = ReadPngFacts(file, png);
        if (!failure)
            failure = file.seek(0);
        if (failure)
            return CodecStatus::Failed;
        facts.format = PictureFormat::Png;
        facts.formatName = "PNG";
        facts.layout = pngLayout(png);
        facts.width = png.width;
        facts.height = png.height;
        facts.bitsPerPixel = png.bitDepth * pngChannels(png.colorType);
        return CodecStatus::Ok;
    }
    QImageReader reader(QFile::decodeName(QByteArray::fromStdString(file.path())));
    if (reader.canRead()) {
        facts.format = PictureFormat::Other;
        facts.formatName = reader.format().toUpper().toStdString();
        const QSize size = reader.size();
        facts.width = std::max(size.width(), 0);
        facts.height = std::max(size.height(), 0);
        facts.layout = "read whole by Qt";
        facts.bitsPerPixel = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
    }
    return CodecStatus::Ok;
}

// Writes the picture that Qt reads at path into bmp, an empty file, as the plain bitmap that
// holds its pixels, and moves bmp back to its first byte.
Failure qtToPlainBitmap(const std::string& path, BinaryFile& bmp, bool& transparent)
{
    transparent = false;
    QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
    reader.setAutoTransform(false);  // the pixels as stored
    QImage image = reader.read();
    if (image.isNull())
        return {ErrorCode::InvalidArgument, path + ": " + reader.errorString().toStdString()};
    constexpr int64_t kMost = std::numeric_limits<int32_t>::max();
    if (int64_t(image.width()) * kBytesPerPixel > kMost - kRowAlignment ||
        int64_t(image.width() / kBytesPerPixel) * image.height() > kMost)
        return {ErrorCode::Overflow, path + ": the picture is too large to hide anything in"};
    if (image.hasAlphaChannel()) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height() && !transparent; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            transparent = std::any_of(line, line + argb.width(), [](QRgb p) { return qAlpha(p) != kOpaque; });
        }
    }
    image = image.convertToFormat(QImage::Format_RGB888);

    const BitmapHeader header = PlainBitmapHeader(image.width(), image.height());
    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = bmp.write(header.bytes, kHeaderSize))
        return f;
    std::vector<uint8_t> row(static_cast<size_t>(geometry.stride));
    for (int64_t r = 0; r < geometry.rows; ++r) {
        const uchar* rgb = image.constScanLine(static_cast<int>(geometry.rows - 1 - r));
        for (int64_t x = 0; x < geometry.dataBytes; x += kBytesPerPixel) {
            row[size_t(x)] = rgb[x + 2];
            row[size_t(x) + 1] = rgb[x + 1];
            row[size_t(x) + 2] = rgb[x];
        }
        if (Failure f = bmp.write(row.data(), row.size()))
            return f;
    }
    return bmp.seek(0);
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
    return qtToPlainBitmap(file.path(), scratch, transparent);
}

}  // namespace

CodecStatus ProbePicture(const std::string& path, PictureFacts& facts, Failure& failure)
{
    BinaryFile file;
    failure = BinaryFile::openExisting(path, file);
    if (failure)
        return CodecStatus::Failed;
    return probeOpen(file, facts, failure);
}

int64_t ConvertedCapacity(const PictureFacts& facts)
{
    if (facts.format == PictureFormat::Unknown || facts.width <= 0 || facts.height <= 0 ||
        facts.width > std::numeric_limits<int32_t>::max() || facts.height > std::numeric_limits<int32_t>::max())
        return 0;
    const RowGeometry geometry =
        GeometryOf(PlainBitmapHeader(static_cast<int32_t>(facts.width), static_cast<int32_t>(facts.height)));
    return PayloadCapacity(geometry);
}

std::vector<std::string> ReadablePictureExtensions()
{
    std::vector<std::string> extensions = {"bmp", "png"};
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const std::string extension = format.toLower().toStdString();
        if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
            extensions.push_back(extension);
    }
    return extensions;
}

bool IsLosslessOutput(const std::string& path)
{
    return outputOf(path) != Output::Refused;
}

CodecResult HideInPicture(const std::string& carrierPath, const std::string& destinationPath,
                          std::string_view payload, uint8_t kind, int32_t& offset)
{
    CodecResult result;
    const auto fail = [&result](const Failure& f) {
        ShowEncodingFailure(f);
        result.status = CodecStatus::Failed;
        return result;
    };
    const Output output = outputOf(destinationPath);
    if (output == Output::Refused) {
        MsgBox("The new picture cannot be saved as " + destinationPath +
                   ": only a .bmp or a .png picture keeps every bit of it. Other formats, such as .jpg or "
                   ".webp, change the pixels and would lose what is hidden.",
               MsgIcon::Information);
        result.status = CodecStatus::Refused;
        return result;
    }
    if (CodecResult refused = RefuseDestination(carrierPath, destinationPath); refused.status != CodecStatus::Ok)
        return refused;

    BinaryFile source;
    if (Failure f = BinaryFile::openExisting(carrierPath, source))
        return fail(f);
    PictureFacts facts;
    Failure failure;
    if (probeOpen(source, facts, failure) != CodecStatus::Ok)
        return fail(failure);
    BinaryFile converted;
    BinaryFile* carrier = &source;
    if (facts.format == PictureFormat::Bitmap || facts.format == PictureFormat::Png ||
        facts.format == PictureFormat::Other) {
        bool transparent = false;
        bool aborted = false;
        const Failure f = toPlainBitmap(source, facts, converted, transparent, aborted);
        if (aborted)
            return CodecResult{CodecStatus::Aborted, kKindMessage, {}};
        if (f && facts.format != PictureFormat::Bitmap)
            return fail(f);
        // A BMP that cannot be read as a picture is walked from byte 54 as it always was.
        if (!f) {
            carrier = &converted;
            if (transparent)
                MsgBox("The carrier " + carrierPath + " has transparent parts; the new picture cannot keep them "
                       "and is opaque.",
                       MsgIcon::Information);
        }
    }

    // The new picture takes the destination's place only once it is complete and checked: a
    // bitmap is written there at once, a PNG is made from the bitmap written aside.
    OutputFile destination;
    BinaryFile bitmap;
    result = HidePayloadInto(
        *carrier,
        [&](BinaryFile*& out) {
            if (output == Output::Png) {
                out = &bitmap;
                return BinaryFile::createTemporary(destinationPath + " (as a plain bitmap)", bitmap);
            }
            out = &destination.file();
            return OutputFile::create(destinationPath, destination);
        },
        payload, kind, offset);
    if (result.status != CodecStatus::Ok)
        return result;
    if (output == Output::Png) {
        bool aborted = false;
        if (Failure f = OutputFile::create(destinationPath, destination))
            return fail(f);
        const Failure f = PlainBitmapToPng(bitmap, destination.file(), aborted);
        if (aborted)
            return CodecResult{CodecStatus::Aborted, kKindMessage, {}};
        if (f)
            return fail(f);
    }
    if (Failure f = destination.commit())
        return fail(f);
    return result;
}

CodecResult RevealFromPicture(const std::string& path)
{
    BinaryFile file;
    PictureFacts facts;
    Failure failure = BinaryFile::openExisting(path, file);
    if (!failure)
        probeOpen(file, facts, failure);
    if (failure) {
        ShowDecodingFailure(failure);
        return CodecResult();
    }
    if (facts.format != PictureFormat::Png)
        return RevealPayloadFrom(file);
    BinaryFile converted;
    bool transparent = false;
    bool aborted = false;
    failure = toPlainBitmap(file, facts, converted, transparent, aborted);
    if (aborted)
        return CodecResult{CodecStatus::Aborted, kKindMessage, {}};
    if (failure) {
        ShowDecodingFailure(failure);
        return CodecResult();
    }
    return RevealPayloadFrom(converted);
}

}  // namespace mirel
