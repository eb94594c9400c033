#include "PngRows.h"

#include "CipherMirel.h"
#include "PngSpng.h"
#include "Ui.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace mirel {

using namespace png;

namespace {

constexpr int kColorTypeGreyAlpha = 4;
constexpr int kColorTypeRgbAlpha = 6;
constexpr uint8_t kOpaque = 0xFF;
// Ancillary chunks (profiles, texts) are skipped past these sizes, so that they cannot ask for
// much memory; so are rows wider than any picture is.
constexpr size_t kChunkLimit = size_t(16) << 20;
constexpr uint32_t kMostWidth = uint32_t(1) << 24;
constexpr size_t kReadAhead = size_t(1) << 16;

int readFromFile(spng_ctx*, void* user, void* destination, size_t length)
{
    auto* stream = static_cast<Stream*>(user);
    auto* to = static_cast<uint8_t*>(destination);
    while (length > 0) {
        if (stream->at == stream->end) {
            // Large reads go straight to libspng; small ones through the buffer, filled anew.
            const bool direct = length >= kReadAhead;
            if (!direct)
                stream->buffer.resize(kReadAhead);
            size_t got = 0;
            stream->failure =
                stream->file->readSome(direct ? to : stream->buffer.data(), direct ? length : kReadAhead, got);
            if (stream->failure)
                return SPNG_IO_ERROR;
            if (got == 0)
                return SPNG_IO_EOF;
            if (direct) {
                to += got;
                length -= got;
                continue;
            }
            stream->at = 0;
            stream->end = got;
        }
        const size_t n = std::min(length, stream->end - stream->at);
        std::memcpy(to, stream->buffer.data() + stream->at, n);
        stream->at += n;
        to += n;
        length -= n;
    }
    return 0;
}

// Turns pixels of bytesPerPixel bytes, the first three red, green, blue or blue, green, red, into
// three bytes each in the other order.
void swapRedAndBlue(const uint8_t* from, int bytesPerPixel, uint8_t* to, size_t pixels)
{
    for (size_t x = 0; x < pixels; ++x, from += bytesPerPixel, to += kBytesPerPixel) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
}

}  // namespace

namespace png {

Failure OpenPng(Stream& stream, Context& ctx, spng_ihdr& ihdr)
{
    ctx.reset(spng_ctx_new(0));
    if (!ctx)
        return {ErrorCode::OutOfMemory, {}};
    spng_set_chunk_limits(ctx.get(), kChunkLimit, kChunkLimit);
    spng_set_png_stream(ctx.get(), readFromFile, &stream);
    if (const int error = spng_get_ihdr(ctx.get(), &ihdr))
        return PngFailure(stream, error);
    return {};
}

Failure PngFailure(const Stream& stream, int error)
{
    if (stream.failure)
        return stream.failure;
    if (error == SPNG_IO_EOF)
        return {ErrorCode::InputPastEnd, stream.file->path() + ": the PNG ends too soon"};
    return {ErrorCode::InvalidArgument, stream.file->path() + ": " + spng_strerror(error)};
}

Failure CheckPlainSize(const std::string& picture, uint32_t width, uint32_t height)
{
    constexpr int64_t kMost = std::numeric_limits<int32_t>::max();
    const int64_t stride = (int64_t(width) * kBytesPerPixel + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (width == 0 || height == 0 || width > kMostWidth || height > kMost || stride > kMost ||
        int64_t(width / kBytesPerPixel) * height > kMost)
        return {ErrorCode::Overflow, picture + ": a picture of " + std::to_string(width) + " x " +
                                         std::to_string(height) + " pixels is beyond what can be hidden in"};
    return {};
}

uint32_t ScanlinesOf(uint32_t width, uint32_t height, bool interlaced)
{
    if (!interlaced)
        return height;
    uint32_t scanlines = 0;
    for (int p = 0; p < kPasses; ++p) {
        if (width > kPassColumn[p] && height > kPassRow[p])
            scanlines += (height - kPassRow[p] + kPassRowStep[p] - 1) / kPassRowStep[p];
    }
    return scanlines;
}

bool YieldForRows(uint32_t row, bool& aborted, uint32_t rows)
{
    if ((row + 1) % kRowsPerYield != 0)
        return true;
    if (rows > 0)
        Progress(row + 1, rows);
    Yield();
    aborted = gAbort;
    return !aborted;
}

}  // namespace png

Failure PlainBitmapWriter::begin(BinaryFile& bmp, const std::string& picture, uint32_t width, uint32_t height)
{
    if (Failure f = png::CheckPlainSize(picture, width, height))
        return f;
    const BitmapHeader header = PlainBitmapHeader(static_cast<int32_t>(width), static_cast<int32_t>(height));
    m_bmp = &bmp;
    m_geometry = GeometryOf(header);
    m_row.assign(static_cast<size_t>(m_geometry.stride), 0);
    if (Failure f = bmp.resize(kHeaderSize + m_geometry.stride * m_geometry.rows))
        return f;
    return bmp.writeAt(0, header.bytes, kHeaderSize);
}

Failure PlainBitmapWriter::putRow(uint32_t y, const uint8_t* pixels, int bytesPerPixel)
{
    swapRedAndBlue(pixels, bytesPerPixel, m_row.data(), static_cast<size_t>(m_geometry.dataBytes / kBytesPerPixel));
    return m_bmp->writeAt(kHeaderSize + (m_geometry.rows - 1 - y) * m_geometry.stride, m_row.data(), m_row.size());
}

Failure PlainBitmapWriter::putPass(uint32_t y, const uint8_t* pixels, int bytesPerPixel, int pass)
{
    const int64_t at = kHeaderSize + (m_geometry.rows - 1 - y) * m_geometry.stride;
    if (Failure f = m_bmp->readAt(at, m_row.data(), m_row.size()))
        return f;
    const size_t width = static_cast<size_t>(m_geometry.dataBytes / kBytesPerPixel);
    for (size_t x = kPassColumn[pass]; x < width; x += kPassColumnStep[pass]) {
        const uint8_t* source = pixels + x * size_t(bytesPerPixel);
        uint8_t* target = m_row.data() + x * kBytesPerPixel;
        target[0] = source[2];
        target[1] = source[1];
        target[2] = source[0];
    }
    return m_bmp->writeAt(at, m_row.data(), m_row.size());
}

bool HasPngSignature(const uint8_t* bytes, size_t size)
{
    return size >= kPngSignatureSize && std::memcmp(bytes, kPngSignature, kPngSignatureSize) == 0;
}

Failure ReadPngFacts(BinaryFile& file, PngFacts& facts)
{
    Stream stream{&file, {}};
    Context ctx;
    spng_ihdr ihdr {};
    if (Failure f = OpenPng(stream, ctx, ihdr))
        return f;
    facts.width = ihdr.width;
    facts.height = ihdr.height;
    facts.bitDepth = ihdr.bit_depth;
    facts.colorType = ihdr.color_type;
    facts.interlaced = ihdr.interlace_method != 0;
    spng_trns trns {};
    facts.maybeTransparent = ihdr.color_type == kColorTypeGreyAlpha || ihdr.color_type == kColorTypeRgbAlpha ||
                             spng_get_trns(ctx.get(), &trns) == 0;
    return {};
}

Failure PngToPlainBitmap(BinaryFile& png, BinaryFile& bmp, bool& transparent, bool& aborted)
{
    transparent = false;
    aborted = false;
    Stream stream{&png, {}};
    Context ctx;
    spng_ihdr ihdr {};
    if (Failure f = OpenPng(stream, ctx, ihdr))
        return f;
    PlainBitmapWriter writer;
    if (Failure f = writer.begin(bmp, png.path(), ihdr.width, ihdr.height))
        return f;

    std::vector<uint8_t> rgba;
    try {
        rgba.resize(size_t(ihdr.width) * kRgba);
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, png.path() + ": no room to decode it"};
    }
    const bool interlaced = ihdr.interlace_method != 0;
    const uint32_t scanlines = ScanlinesOf(ihdr.width, ihdr.height, interlaced);
    if (const int error = spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                                            SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE))
        return PngFailure(stream, error);
    int status = 0;
    uint32_t done = 0;
    do {
        spng_row_info row {};
        if ((status = spng_get_row_info(ctx.get(), &row)) != 0)
            break;
        status = spng_decode_row(ctx.get(), rgba.data(), rgba.size());
        if (status != 0 && status != SPNG_EOI)
            break;
        // The row's pixels (of its pass) in their place; their alpha only tells whether anything
        // was less than opaque.
        const int pass = interlaced ? row.pass : kPasses - 1;
        for (uint32_t x = kPassColumn[pass]; x < ihdr.width && !transparent; x += kPassColumnStep[pass])
            transparent = rgba[size_t(x) * kRgba + 3] != kOpaque;
        if (Failure f = interlaced ? writer.putPass(row.row_num, rgba.data(), kRgba, pass)
                                   : writer.putRow(row.row_num, rgba.data(), kRgba))
            return f;
        if (!YieldForRows(done++, aborted, scanlines))
            return {};
    } while (status == 0);
    if (status != SPNG_EOI)
        return PngFailure(stream, status);
    return bmp.seek(0);
}

}  // namespace mirel
