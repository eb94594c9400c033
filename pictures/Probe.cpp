// Telling what a picture is, and the module that reads pictures through Qt.
#include "Probe.h"

#include "BinaryFile.h"
#include "PngRows.h"
#include "QtImages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

}  // namespace

namespace probe {

CodecStatus ProbeOpen(BinaryFile& file, PictureFacts& facts, Failure& failure)
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
        facts.deepChannels = png.bitDepth > 8;
        return CodecStatus::Ok;
    }
    char format[64] = {};
    if (const QtImages& qt = qtImages(); qt.probe && qt.probe(file.path().c_str(), format, sizeof format, &facts.width,
                                                              &facts.height, &facts.bitsPerPixel) == 0) {
        facts.format = PictureFormat::Other;
        facts.formatName = format;
        facts.layout = "read whole by Qt";
        facts.deepChannels = facts.bitsPerPixel > 32;  // 16-bit channels: 48 or 64 bits a pixel
    }
    return CodecStatus::Ok;
}

Failure CopyBitmapRows(BinaryFile& file, BinaryFile& bmp, bool& copied)
{
    copied = false;
    BitmapHeader header;
    if (Failure f = file.readAt(0, header.bytes, kHeaderSize))
        return f;
    const int64_t infoSize = header.infoSize();
    const int64_t pixels = header.pixelDataOffset();
    const int64_t width = header.width();
    const int64_t rows = std::abs(int64_t(header.height()));
    const bool topFirst = header.height() < 0;
    const int64_t stride = (width * kBytesPerPixel + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (!header.hasSignature() || infoSize < kInfoSize || pixels < kInfoSizeOffset + infoSize || header.planes() != 1 ||
        header.bitsPerPixel() != 8 * kBytesPerPixel || header.compression() != 0 || width <= 0 || rows == 0 ||
        file.length() < pixels + stride * rows)
        return {};
    PlainBitmapWriter writer;
    if (Failure f = writer.begin(bmp, file.path(), uint32_t(width), uint32_t(rows)))
        return f;
    if (!topFirst) {
        if (Failure f = file.seek(pixels); f || (f = bmp.seek(kHeaderSize)) || (f = file.copyTo(bmp, stride * rows)))
            return f;
    } else {
        std::vector<uint8_t> row(static_cast<size_t>(stride));
        for (int64_t y = 0; y < rows; ++y)
            if (Failure f = file.readAt(pixels + y * stride, row.data(), row.size());
                f || (f = bmp.writeAt(kHeaderSize + (rows - 1 - y) * stride, row.data(), row.size())))
                return f;
    }
    copied = true;
    if (Failure f = bmp.seek(0); f || (f = file.seek(0)))
        return f;
    return {};
}

Failure ReadWithQt(const std::string& path, BinaryFile& bmp, bool& transparent)
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

}  // namespace probe

CodecStatus ProbePicture(const std::string& path, PictureFacts& facts, Failure& failure)
{
    BinaryFile file;
    failure = BinaryFile::openExisting(path, file);
    if (failure)
        return CodecStatus::Failed;
    return probe::ProbeOpen(file, facts, failure);
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

}  // namespace mirel
