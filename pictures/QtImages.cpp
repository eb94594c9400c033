// The module that reads pictures through Qt's image readers (see QtImages.h).
#include "QtImages.h"

#include "JpegRows.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int kOpaque = 0xFF;
constexpr int kBandRows = 64;

void copyText(const std::string& text, char* buffer, size_t size)
{
    if (size == 0)
        return;
    const size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

QString pathOf(const char* path)
{
    return QFile::decodeName(QByteArray(path));
}

// The readers' own warnings stay off the terminal: the program says in its own words what is
// wrong with a picture.
void quietReaders()
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
        return true;
    }();
    (void)quiet;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int mirel_read_picture(const char* path, const MirelPictureSink* sink,
                                                                         int* transparent, char* error,
                                                                         size_t errorSize)
{
    *transparent = 0;
    int stop = 0;
    switch (mirel::jpeg::ReadJpeg(path, sink, stop, error, errorSize)) {
    case mirel::jpeg::JpegEnd::Read: return 0;
    case mirel::jpeg::JpegEnd::Failed: return stop ? stop : -1;
    case mirel::jpeg::JpegEnd::NotTaken: break;
    }
    quietReaders();
    QImageReader reader(pathOf(path));
    reader.setAutoTransform(false);  // the pixels as stored
    QImage image = reader.read();
    if (image.isNull()) {
        copyText(reader.errorString().toStdString(), error, errorSize);
        return -1;
    }
    if (const int stop = sink->begin(sink->context, uint32_t(image.width()), uint32_t(image.height())))
        return stop;
    // Converted a band of rows at a time: a copy of the whole picture would be as large again.
    const bool alpha = image.hasAlphaChannel();
    for (int y = 0; y < image.height(); y += kBandRows) {
        const QImage band = image.copy(0, y, image.width(), std::min(kBandRows, image.height() - y));
        if (alpha && !*transparent) {
            const QImage argb = band.convertToFormat(QImage::Format_ARGB32);
            for (int k = 0; k < argb.height() && !*transparent; ++k) {
                const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(k));
                *transparent = std::any_of(line, line + argb.width(), [](QRgb p) { return qAlpha(p) != kOpaque; });
            }
        }
        const QImage rgb = band.convertToFormat(QImage::Format_RGB888);
        for (int k = 0; k < rgb.height(); ++k)
            if (const int stop = sink->row(sink->context, uint32_t(y + k), rgb.constScanLine(k)))
                return stop;
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int mirel_probe_picture(const char* path, char* format,
                                                                          size_t formatSize, int64_t* width,
                                                                          int64_t* height, int* bitsPerPixel)
{
    quietReaders();
    QImageReader reader(pathOf(path));
    if (!reader.canRead())
        return -1;
    // A header that cannot be read leaves no size, and a reader that failed on it is asked
    // nothing more: what else it would tell is not to be trusted.
    QSize size = reader.size();
    if (!size.isValid())
        return -1;
    const QByteArray name = reader.format();
    QImage::Format pixels = reader.imageFormat();
    // An animation is the first frame on its logical screen, as viewers show it and as
    // mirel_read_picture reads it: its size is that of the picture read, not of the header.
    if (name == "gif") {
        const QImage first = reader.read();
        if (first.isNull())
            return -1;
        size = first.size();
        pixels = first.format();
    }
    copyText(name.toUpper().toStdString(), format, formatSize);
    *width = size.width();
    *height = size.height();
    *bitsPerPixel = pixels > QImage::Format_Invalid && pixels < QImage::NImageFormats
                        ? QImage::toPixelFormat(pixels).bitsPerPixel()
                        : 0;
    return 0;
}

extern "C" __attribute__((visibility("default"))) int mirel_picture_extensions(char* buffer, size_t size)
{
    std::string list;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        if (!list.empty())
            list += ' ';
        list += format.toLower().toStdString();
    }
    if (list.size() + 1 > size)
        return -1;
    copyText(list, buffer, size);
    return static_cast<int>(list.size());
}
