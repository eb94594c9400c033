// Splicing a PNG carrier (PngSplice.h): the image data up to the last block boundary before the
// stream's rows copied bit for bit, the rest filtered and compressed again.
#include "PngSplice.h"

#include "PngImageData.h"
#include "PngRows.h"
#include "PngSpng.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace mirel::png {

namespace {

// Memory: the rows held to be compressed again, and the filtered bytes held from the kept
// boundary on (then copied once into what is compressed, which is about as large again).
constexpr int64_t kMostRowBytes = int64_t(12) << 20;
constexpr int64_t kMostRecent = int64_t(16) << 20;

// The rows from the first that holds the stream on, and what must go with them, hidden in: the
// new rows (top to bottom, red, green, blue) in rows.
CodecResult hideInRows(const Carrier& carrier, const Scan& scan, std::string_view payload, uint8_t kind,
                       int32_t& offset, std::vector<uint8_t>& rows)
{
    const int64_t count = carrier.height - scan.firstRow;
    const size_t width = carrier.width;
    const BitmapHeader header = PlainBitmapHeader(int32_t(width), int32_t(count));
    const auto stride = size_t(GeometryOf(header).stride);
    BinaryFile small;
    if (Failure f = BinaryFile::createTemporary(carrier.file->path() + " (its last rows)", small))
        return EncodingFailure(f);
    std::vector<uint8_t> row(stride, 0);
    if (Failure f = small.write(header.bytes, kHeaderSize))
        return EncodingFailure(f);
    // The bitmap's row b is the PNG's row height - 1 - b: pixels row count - b.
    for (int64_t b = 0; b < count; ++b) {
        SwapRedAndBlue(scan.pixels.data() + size_t(count - b) * width * kBytesPerPixel, row.data(), width);
        if (Failure f = small.write(row.data(), row.size()))
            return EncodingFailure(f);
    }
    if (Failure f = small.seek(0))
        return EncodingFailure(f);
    BinaryFile hidden;
    CodecResult result = HidePayloadInto(
        small,
        [&](BinaryFile*& out) {
            out = &hidden;
            return BinaryFile::createTemporary(carrier.file->path() + " (its last rows, changed)", hidden);
        },
        payload, kind, offset);
    if (result.status != CodecStatus::Ok)
        return result;
    try {
        rows.assign(size_t(count) * width * kBytesPerPixel, 0);
    } catch (const std::bad_alloc&) {
        return EncodingFailure({ErrorCode::OutOfMemory, {}});
    }
    for (int64_t b = 0; b < count; ++b) {
        if (Failure f = hidden.readAt(kHeaderSize + b * int64_t(stride), row.data(), row.size()))
            return EncodingFailure(f);
        SwapRedAndBlue(row.data(), rows.data() + size_t(count - 1 - b) * width * kBytesPerPixel, width);
    }
    return result;
}

// The filtered rows from the kept boundary on: those before the stream's first row as they were,
// then the new rows filtered again, each with the filter it had.
std::vector<uint8_t> newTail(const Carrier& carrier, const Scan& scan, const std::vector<uint8_t>& rows)
{
    const size_t rowBytes = RowBytes(carrier.width);
    const size_t pixelBytes = rowBytes - 1;
    const int64_t firstByte = scan.firstRow * int64_t(rowBytes);
    // The filtered byte at pos, counted from the first row's filter byte.
    const auto recent = [&](int64_t pos) { return scan.recent[size_t(pos - scan.recentStart)]; };
    std::vector<uint8_t> tail(scan.recent.begin() + (scan.outPos - scan.recentStart),
                              scan.recent.begin() + (firstByte - scan.recentStart));
    tail.reserve(tail.size() + rows.size() + size_t(carrier.height - scan.firstRow));
    std::vector<uint8_t> filtered(rowBytes);
    for (int64_t y = scan.firstRow; y < carrier.height; ++y) {
        const size_t k = size_t(y - scan.firstRow);
        const uint8_t* above = k == 0 ? scan.pixels.data() : rows.data() + (k - 1) * pixelBytes;
        filtered[0] = recent(y * int64_t(rowBytes));
        FilterRow(filtered[0], rows.data() + k * pixelBytes, above, pixelBytes, filtered.data() + 1);
        tail.insert(tail.end(), filtered.begin(), filtered.end());
    }
    return tail;
}

// Compresses tail as deflate blocks that go on from the kept boundary: the 32 KB before it as
// the dictionary, the bits of the boundary's byte that the carrier's blocks used first.
Failure compressTail(const Scan& scan, const std::vector<uint8_t>& tail, std::vector<uint8_t>& compressed)
{
    z_stream z {};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        return {ErrorCode::OutOfMemory, {}};
    const int64_t windowStart = std::max<int64_t>(0, scan.outPos - kWindowSize);
    const uint8_t* window = scan.recent.data() + (windowStart - scan.recentStart);
    const int usedBits = int(scan.bitPos % 8);
    int status = deflateSetDictionary(&z, window, uInt(scan.outPos - windowStart));
    if (status == Z_OK && usedBits)
        status = deflatePrime(&z, usedBits, scan.partialByte & ((1 << usedBits) - 1));
    compressed.resize(deflateBound(&z, uLong(tail.size())) + kBoundSlack);
    z.next_in = const_cast<uint8_t*>(tail.data());
    z.avail_in = uInt(tail.size());
    z.next_out = compressed.data();
    z.avail_out = uInt(compressed.size());
    if (status == Z_OK)
        status = deflate(&z, Z_FINISH);
    compressed.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        return {ErrorCode::OutOfMemory, "the rows could not be compressed"};
    return {};
}

}  // namespace

bool SplicePng(BinaryFile& file, const std::string& destinationPath, std::string_view payload, uint8_t kind,
               int32_t& offset, CodecResult& result)
{
    Carrier carrier;
    if (!ReadCarrier(file, carrier, true))
        return false;
    const int64_t perRow = carrier.width / kBytesPerPixel;
    const int64_t needed = int64_t(offset) + kLengthFieldSize + int64_t(payload.size());
    if (offset < 0 || perRow == 0 || needed > perRow * carrier.height)
        return false;
    Scan scan;
    scan.firstRow = carrier.height - (needed + perRow - 1) / perRow;
    if ((carrier.height - scan.firstRow + 1) * int64_t(RowBytes(carrier.width)) > kMostRowBytes)
        return false;
    switch (ScanImage(carrier, scan, kMostRecent)) {
    case ScanEnd::Unsuitable: return false;
    case ScanEnd::Aborted: result = CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}}; return true;
    case ScanEnd::Done: break;
    }
    std::vector<uint8_t> rows;
    result = hideInRows(carrier, scan, payload, kind, offset, rows);
    if (result.status != CodecStatus::Ok)
        return true;
    const std::vector<uint8_t> tail = newTail(carrier, scan, rows);
    std::vector<uint8_t> compressed;
    const uLong adler = adler32_combine(scan.adler, adler32(1, tail.data(), uInt(tail.size())), z_off_t(tail.size()));
    OutputFile out;
    Failure failure = compressTail(scan, tail, compressed);
    if (!failure)
        failure = OutputFile::create(destinationPath, out);
    if (!failure)
        failure = WriteSpliced(carrier, scan, compressed, uint32_t(adler), out.file());
    if (!failure)
        failure = CheckSpliced(out.file(), carrier, scan, tail, uint32_t(adler));
    if (!failure)
        failure = out.commit();
    if (failure)
        result = EncodingFailure(failure);
    return true;
}

}  // namespace mirel::png
