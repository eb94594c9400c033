// The rows of a PNG's plain bitmap for the decoder: a pass over the PNG, keeping only the lowest
// bit of each byte, and only of the rows the decoder will ask for next.
#include "PngRows.h"

#include "CodecRows.h"
#include "PngImageData.h"
#include "PngSpng.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mirel {

using namespace png;

namespace {

constexpr int kBitsPerByte = 8;

// Packs the lowest bits of count bytes, count a multiple of 8, into count / 8 bytes: the first
// byte's bit in the lowest place, as a group of the hidden stream holds a byte.
void packLowBits(const uint8_t* bytes, size_t count, uint8_t* bits)
{
    for (size_t i = 0; i < count; i += kBitsPerByte)
        *bits++ = rows::TakeByte(bytes + i);
}

}  // namespace

Failure PngBitmapRows::open(BinaryFile& png, BitmapHeader& header, size_t windowBytes)
{
    if (Failure f = png.seek(0))
        return f;
    Stream stream{&png, {}};
    Context ctx;
    spng_ihdr ihdr {};
    if (Failure f = OpenPng(stream, ctx, ihdr))
        return f;
    if (Failure f = CheckPlainSize(png.path(), ihdr.width, ihdr.height))
        return f;
    m_png = &png;
    m_width = ihdr.width;
    m_height = ihdr.height;
    m_bitBytes = (size_t(m_width) * kBytesPerPixel + kBitsPerByte - 1) / kBitsPerByte;
    m_windowRows = std::clamp<int64_t>(int64_t(windowBytes / m_bitBytes), 1, m_height);
    m_first = m_kept = m_next = 0;
    header = PlainBitmapHeader(static_cast<int32_t>(m_width), static_cast<int32_t>(m_height));
    return {};
}

const std::string& PngBitmapRows::name() const
{
    static const std::string kNone;
    return m_png ? m_png->path() : kNone;
}

Failure PngBitmapRows::nextRow(uint8_t* row, size_t size)
{
    if (!m_png || m_next >= m_height)
        return {ErrorCode::InputPastEnd, name() + ": the rows end before the hidden data"};
    std::memset(row, 0, size);
    if (m_next >= m_first + m_kept) {
        if (Failure f = decodeWindow(m_next))
            return f;
        if (m_kept == 0)  // aborted
            return {};
    }
    // The bitmap holds blue, green, red where the PNG holds red, green, blue.
    const uint8_t* bits = m_bits.data() + size_t(m_next - m_first) * m_bitBytes;
    const size_t pixels = std::min<size_t>(m_width, size / kBytesPerPixel);
    for (size_t x = 0; x < pixels; ++x) {
        for (int c = 0; c < kBytesPerPixel; ++c) {
            const size_t j = x * kBytesPerPixel + size_t(kBytesPerPixel - 1 - c);
            row[x * kBytesPerPixel + size_t(c)] = (bits[j / kBitsPerByte] >> (j % kBitsPerByte)) & 1;
        }
    }
    ++m_next;
    return {};
}

void PngBitmapRows::keepRow(int64_t y, const uint8_t* pixels, int bytesPerPixel, int pass)
{
    const int64_t row = m_height - 1 - y;
    if (row < m_first || row >= m_first + m_kept)
        return;
    uint8_t* bits = m_bits.data() + size_t(row - m_first) * m_bitBytes;
    const size_t bytes = size_t(m_width) * kBytesPerPixel;
    size_t done = 0;
    if (bytesPerPixel == kBytesPerPixel && pass == kPasses - 1) {
        done = bytes / kBitsPerByte * kBitsPerByte;
        packLowBits(pixels, done, bits);
    }
    const size_t step = kPassColumnStep[pass] * kBytesPerPixel;
    for (size_t first = std::max<size_t>(done, kPassColumn[pass] * kBytesPerPixel); first < bytes; first += step) {
        for (size_t j = first; j < first + kBytesPerPixel && j < bytes; ++j) {
            const uint8_t byte = pixels[j / kBytesPerPixel * size_t(bytesPerPixel) + j % kBytesPerPixel];
            bits[j / kBitsPerByte] = static_cast<uint8_t>(bits[j / kBitsPerByte] | (byte & 1u) << (j % kBitsPerByte));
        }
    }
}

Failure PngBitmapRows::decodeWindow(int64_t firstRow)
{
    m_first = firstRow;
    m_kept = std::min(m_windowRows, m_height - firstRow);
    try {
        m_bits.assign(size_t(m_kept) * m_bitBytes, 0);
    } catch (const std::bad_alloc&) {
        m_kept = 0;
        return {ErrorCode::OutOfMemory, m_png->path() + ": no room to decode it"};
    }
    // The window's last row is the PNG's row lastY, counted from the top: the pass ends there.
    const int64_t lastY = m_height - 1 - firstRow;
    const int64_t kept = m_kept;
    // 8-bit RGB without interlacing is inflated here and unfiltered on a second thread. Image data
    // found damaged is read again through libspng, which says what is wrong with it.
    Carrier carrier;
    if (ReadCarrier(*m_png, carrier, false)) {
        const auto take = [&](int64_t y, const uint8_t* pixels) { keepRow(y, pixels, kBytesPerPixel, kPasses - 1); };
        switch (InflateRows(carrier, lastY, nullptr, take)) {
        case ScanEnd::Done: return {};
        case ScanEnd::Aborted: m_kept = 0; return {};
        case ScanEnd::Unsuitable: std::fill(m_bits.begin(), m_bits.end(), 0); break;
        }
    }
    m_kept = 0;
    if (Failure f = m_png->seek(0))
        return f;
    Stream stream{m_png, {}};
    Context ctx;
    spng_ihdr ihdr {};
    if (Failure f = OpenPng(stream, ctx, ihdr))
        return f;
    // 8-bit RGB comes as it is; every other layout as the converter takes it, through RGBA.
    const bool rgb = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR && ihdr.bit_depth == 8;
    const int bytesPerPixel = rgb ? kBytesPerPixel : kRgba;
    const int format = rgb ? SPNG_FMT_PNG : SPNG_FMT_RGBA8;
    const size_t rowBytes = size_t(m_width) * size_t(bytesPerPixel);
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, m_png->path() + ": no room to decode it"};
    }
    m_kept = kept;
    bool aborted = false;
    // An interlaced picture's rows are complete only after its last pass: it is read to its end.
    const bool interlaced = ihdr.interlace_method != 0;
    if (const int error = spng_decode_image(ctx.get(), nullptr, 0, format, SPNG_DECODE_PROGRESSIVE))
        return PngFailure(stream, error);
    int status = 0;
    spng_row_info info {};
    uint32_t done = 0;
    do {
        if ((status = spng_get_row_info(ctx.get(), &info)) != 0)
            break;
        status = spng_decode_row(ctx.get(), pixels.data(), pixels.size());
        if (status != 0 && status != SPNG_EOI)
            break;
        keepRow(info.row_num, pixels.data(), bytesPerPixel, interlaced ? info.pass : kPasses - 1);
        if (!YieldForRows(done++, aborted)) {
            m_kept = 0;
            return {};
        }
    } while (status == 0 && (interlaced || info.row_num < lastY));
    if (status != 0 && status != SPNG_EOI)
        return PngFailure(stream, status);
    return {};
}

}  // namespace mirel
