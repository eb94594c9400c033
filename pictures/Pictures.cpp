#include "Pictures.h"

#include "BinaryFile.h"
#include "PngRows.h"
#include "QtImages.h"
#include "Ui.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <sstream>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace mirel {

namespace {

constexpr size_t kErrorSize = 512;

// The module that reads pictures through Qt (QtImages.h), loaded on first need from its folder
// beside the program's: MIREL_MODULE_DIR, relative to the folder of the running executable.
struct QtImages {
    decltype(&mirel_read_picture) read = nullptr;
    decltype(&mirel_probe_picture) probe = nullptr;
    decltype(&mirel_picture_extensions) extensions = nullptr;
    std::string problem;  // why it could not be loaded
};

const QtImages& qtImages()
{
    static const QtImages images = [] {
        QtImages loaded;
        char exe[4096];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string folder = n > 0 ? std::string(exe, size_t(n)) : std::string();
        folder = folder.substr(0, folder.find_last_of('/') + 1);
        const std::string path = folder + MIREL_MODULE_DIR "/" MIREL_MODULE_NAME;
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            loaded.problem = "the module that reads it (" + path + ") cannot be loaded: " + ::dlerror();
            return loaded;
        }
        loaded.read = reinterpret_cast<decltype(loaded.read)>(::dlsym(module, kReadPictureEntry));
        loaded.probe = reinterpret_cast<decltype(loaded.probe)>(::dlsym(module, kProbePictureEntry));
        loaded.extensions = reinterpret_cast<decltype(loaded.extensions)>(::dlsym(module, kPictureExtensionsEntry));
        if (!loaded.read || !loaded.probe || !loaded.extensions)
            loaded = QtImages{nullptr, nullptr, nullptr, path + " is not the module that reads pictures"};
        return loaded;
    }();
    return images;
}


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
    char format[64] = {};
    if (const QtImages& qt = qtImages(); qt.probe && qt.probe(file.path().c_str(), format, sizeof format, &facts.width,
                                                              &facts.height, &facts.bitsPerPixel) == 0) {
        facts.format = PictureFormat::Other;
        facts.formatName = format;
        facts.layout = "read whole by Qt";
    }
    return CodecStatus::Ok;
}

// The plain bitmap that a picture read by the module is written into.
struct BitmapSink {
    BinaryFile& bmp;
    std::string path;
    PlainBitmapWriter writer {};
    Failure failure {};

    static int begin(void* context, uint32_t width, uint32_t height)
    {
        auto& self = *static_cast<BitmapSink*>(context);
        self.failure = self.writer.begin(self.bmp, self.path, width, height);
        return self.failure ? 1 : 0;
    }

    static int row(void* context, uint32_t y, const uint8_t* rgb)
    {
        auto& self = *static_cast<BitmapSink*>(context);
        self.failure = self.writer.putRow(y, rgb, kBytesPerPixel);
        return self.failure ? 1 : 0;
    }
};

// Writes the picture that Qt reads at path into bmp, an empty file, as the plain bitmap that
// holds its pixels, and moves bmp back to its first byte.
Failure qtToPlainBitmap(const std::string& path, BinaryFile& bmp, bool& transparent)
{
    const QtImages& qt = qtImages();
    if (!qt.read)
        return {ErrorCode::FileNotFound, path + ": " + qt.problem};
    BitmapSink sink{bmp, path};
    const MirelPictureSink callbacks{&sink, &BitmapSink::begin, &BitmapSink::row};
    int seeThrough = 0;
    char error[kErrorSize] = {};
    const int status = qt.read(path.c_str(), &callbacks, &seeThrough, error, sizeof error);
    if (sink.failure)
        return sink.failure;
    if (status != 0)
        return {ErrorCode::InvalidArgument, path + ": " + error};
    transparent = seeThrough != 0;
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
    char list[4096] = {};
    const QtImages& qt = qtImages();
    if (!qt.extensions || qt.extensions(list, sizeof list) < 0)
        return extensions;
    std::istringstream words(list);
    for (std::string extension; words >> extension;) {
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
