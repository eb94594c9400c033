// A PNG's chunks and image data for the splice and the whole writer: listing, inflating,
// writing, reading back (the filters are in PngFilters.cpp).
#include "PngImageData.h"

#include "PngRows.h"
#include "PngSpng.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace mirel::png {

namespace {

constexpr int kBlockBoundary = 128;  // z_stream::data_type: at the end of a deflate block
constexpr int kLastBlock = 64;       // z_stream::data_type: in the stream's last block
constexpr int kUnusedBitsMask = 7;   // z_stream::data_type: unused bits of the last byte taken
constexpr int kBitsPerByte = 8;
constexpr int64_t kMostChunks = 1 << 20;

bool isKept(const Chunk& chunk)
{
    return (chunk.type[0] & kLowerCaseBit) && (chunk.type[3] & kLowerCaseBit);
}

// The carrier's IDAT chunks that lie wholly before the kept boundary's byte, from firstIdat on;
// done receives their bytes of image data.
size_t copiedChunks(const Carrier& carrier, const Scan& scan, int64_t& done)
{
    done = 0;
    size_t k = carrier.firstIdat;
    while (k <= carrier.lastIdat && done + carrier.chunks[k].length <= scan.bitPos / kBitsPerByte)
        done += carrier.chunks[k++].length;
    return k - carrier.firstIdat;
}

}  // namespace

uint32_t BigEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

void PutBigEndian32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value >> 24);
    bytes[1] = uint8_t(value >> 16);
    bytes[2] = uint8_t(value >> 8);
    bytes[3] = uint8_t(value);
}

bool ListChunks(BinaryFile& file, std::vector<Chunk>& chunks)
{
    const int64_t length = file.length();
    int64_t at = kPngSignatureSize;
    while (int64_t(chunks.size()) < kMostChunks) {
        Chunk chunk;
        uint8_t bytes[kChunkHeaderSize];
        if (file.readAt(at, bytes, sizeof bytes))
            return false;
        chunk.at = at;
        chunk.length = BigEndian32(bytes);
        std::memcpy(chunk.type, bytes + kChunkTypeOffset, sizeof chunk.type);
        if (chunk.length > kMostChunkLength || (length >= 0 && at + chunk.size() > length))
            return false;
        uint8_t crc[kCrcSize];
        if (file.readAt(at + kChunkHeaderSize + chunk.length, crc, sizeof crc))
            return false;
        chunk.crc = BigEndian32(crc);
        chunks.push_back(chunk);
        at += chunk.size();
        if (chunk.is("IEND"))
            return true;
    }
    return false;
}

void SwapRedAndBlue(const uint8_t* from, uint8_t* to, size_t pixels)
{
    for (size_t x = 0; x < pixels; ++x, from += 3, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
}

IdatWriter::IdatWriter(BinaryFile& out) : m_out(out)
{
    m_chunk.reserve(kChunkHeaderSize + kPieceSize + kCrcSize);
}

Failure IdatWriter::add(const uint8_t* bytes, size_t count)
{
    m_written += int64_t(count);
    while (count > 0) {
        if (m_chunk.empty())
            m_chunk.assign({0, 0, 0, 0, 'I', 'D', 'A', 'T'});
        const size_t n = std::min(count, kChunkHeaderSize + kPieceSize - m_chunk.size());
        m_chunk.insert(m_chunk.end(), bytes, bytes + n);
        bytes += n;
        count -= n;
        if (m_chunk.size() == kChunkHeaderSize + kPieceSize)
            if (Failure f = flush())
                return f;
    }
    return {};
}

Failure IdatWriter::flush()
{
    if (m_chunk.empty())
        return {};
    const size_t length = m_chunk.size() - kChunkHeaderSize;
    PutBigEndian32(m_chunk.data(), uint32_t(length));
    const uLong crc = crc32(0, m_chunk.data() + kChunkTypeOffset, uInt(length + kChunkTypeOffset));
    m_chunk.resize(m_chunk.size() + kCrcSize);
    PutBigEndian32(m_chunk.data() + kChunkHeaderSize + length, uint32_t(crc));
    const Failure f = m_out.write(m_chunk.data(), m_chunk.size());
    m_chunk.clear();
    return f;
}

Failure WriteChunk(BinaryFile& out, const char* type, const uint8_t* data, uint32_t length)
{
    std::vector<uint8_t> chunk(kChunkHeaderSize + size_t(length) + kCrcSize);
    PutBigEndian32(chunk.data(), length);
    std::memcpy(chunk.data() + kChunkTypeOffset, type, kChunkHeaderSize - kChunkTypeOffset);
    if (length > 0)
        std::memcpy(chunk.data() + kChunkHeaderSize, data, length);
    PutBigEndian32(chunk.data() + kChunkHeaderSize + length,
                   uint32_t(crc32(0, chunk.data() + kChunkTypeOffset, uInt(length + kChunkTypeOffset))));
    return out.write(chunk.data(), chunk.size());
}

Failure CheckWrittenPng(BinaryFile& file, int64_t length, int64_t idatBytes)
{
    std::vector<Chunk> chunks;
    int64_t data = 0;
    const auto count = [&](const uint8_t*, size_t n) {
        data += int64_t(n);
        return true;
    };
    if (file.length() == length && ListChunks(file, chunks) && ForEachPiece(file, chunks, count, true) &&
        data == idatBytes)
        return {};
    return {ErrorCode::DeviceIo, file.path() + ": the new picture does not read back as written"};
}

ScanEnd ScanImage(const Carrier& carrier, Scan& scan, int64_t mostRecent)
{
    const auto rowBytes = int64_t(RowBytes(carrier.width));
    const int64_t target = scan.firstRow * rowBytes;
    const size_t count = size_t(rowBytes - 1);
    try {
        scan.pixels.assign(size_t(carrier.height - scan.firstRow + 1) * count, 0);
    } catch (const std::bad_alloc&) {
        return ScanEnd::Unsuitable;
    }
    const auto inflated = [&](const z_stream& z, uint8_t lastByte, const uint8_t* bytes, size_t n) {
        scan.recent.insert(scan.recent.end(), bytes, bytes + n);
        if (int64_t(scan.recent.size()) > mostRecent)
            return false;
        if ((z.data_type & kBlockBoundary) && !(z.data_type & kLastBlock) && int64_t(z.total_out) <= target) {
            scan.bitPos = int64_t(z.total_in) * kBitsPerByte - (z.data_type & kUnusedBitsMask);
            scan.outPos = int64_t(z.total_out);
            scan.adler = z.adler;
            scan.partialByte = lastByte;
            const int64_t keepFrom = std::max<int64_t>(0, scan.outPos - kWindowSize);
            scan.recent.erase(scan.recent.begin(), scan.recent.begin() + (keepFrom - scan.recentStart));
            scan.recentStart = keepFrom;
        }
        return true;
    };
    // On the second thread: the rows from the one above firstRow on.
    const auto take = [&](int64_t y, const uint8_t* pixels) {
        if (y >= scan.firstRow - 1)
            std::memcpy(scan.pixels.data() + size_t(y - scan.firstRow + 1) * count, pixels, count);
    };
    return InflateRows(carrier, carrier.height - 1, inflated, take);
}

Failure WriteSpliced(const Carrier& carrier, const Scan& scan, const std::vector<uint8_t>& compressed,
                     uint32_t adler, BinaryFile& out)
{
    BinaryFile& in = *carrier.file;
    const auto copyChunk = [&](const Chunk& chunk) {
        Failure f = in.seek(chunk.at);
        return f ? f : in.copyTo(out, chunk.size());
    };
    if (Failure f = in.seek(0); f || (f = in.copyTo(out, kPngSignatureSize)))
        return f;
    for (size_t k = 0; k < carrier.firstIdat; ++k)
        if (k == 0 || isKept(carrier.chunks[k]))
            if (Failure f = copyChunk(carrier.chunks[k]))
                return f;
    int64_t done = 0;
    const size_t copied = copiedChunks(carrier, scan, done);
    for (size_t k = carrier.firstIdat; k < carrier.firstIdat + copied; ++k)
        if (Failure f = copyChunk(carrier.chunks[k]))
            return f;
    // The rest of the stream up to the boundary, from the chunk it ends in, in chunks of our own.
    IdatWriter idat(out);
    int64_t prefix = scan.bitPos / kBitsPerByte - done;
    Failure failure;
    const std::vector<Chunk> image(carrier.chunks.begin() + ptrdiff_t(carrier.firstIdat + copied),
                                   carrier.chunks.begin() + ptrdiff_t(carrier.lastIdat) + 1);
    if (prefix > 0)
        ForEachPiece(in, image, [&](const uint8_t* bytes, size_t count) {
            const auto n = size_t(std::min<int64_t>(prefix, int64_t(count)));
            failure = idat.add(bytes, n);
            prefix -= int64_t(n);
            return !failure && prefix > 0;
        });
    if (failure || prefix > 0)
        return failure ? failure : Failure{ErrorCode::DeviceIo, in.path() + ": the image data changed while read"};
    uint8_t check[kAdlerSize];
    PutBigEndian32(check, adler);
    if (Failure f = idat.add(compressed.data(), compressed.size()); f || (f = idat.add(check, sizeof check)) ||
                                                                     (f = idat.flush()))
        return f;
    for (size_t k = carrier.lastIdat + 1; k < carrier.chunks.size(); ++k)
        if (k + 1 == carrier.chunks.size() || isKept(carrier.chunks[k]))
            if (Failure f = copyChunk(carrier.chunks[k]))
                return f;
    return {};
}

Failure CheckSpliced(BinaryFile& file, const Carrier& carrier, const Scan& scan, const std::vector<uint8_t>& tail,
                     uint32_t adler)
{
    const Failure unchanged {ErrorCode::DeviceIo, file.path() + ": the new picture does not read back as written"};
    std::vector<Chunk> chunks;
    if (!ListChunks(file, chunks))
        return unchanged;
    // The chunks copied must be those scanned: one that changed in the carrier since has another
    // CRC (its own, which the pass below finds right).
    int64_t done = 0;
    const size_t copied = copiedChunks(carrier, scan, done);
    const auto firstIdat = std::find_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.is("IDAT"); });
    if (chunks.end() - firstIdat < ptrdiff_t(copied))
        return unchanged;
    for (size_t k = 0; k < copied; ++k) {
        const Chunk& was = carrier.chunks[carrier.firstIdat + k];
        const Chunk& is = firstIdat[ptrdiff_t(k)];
        if (!is.is("IDAT") || is.length != was.length || is.crc != was.crc)
            return unchanged;
    }
    z_stream z {};
    if (inflateInit2(&z, -kWindowBits) != Z_OK)
        return {ErrorCode::OutOfMemory, {}};
    const int64_t windowStart = std::max<int64_t>(0, scan.outPos - kWindowSize);
    inflateSetDictionary(&z, scan.recent.data() + (windowStart - scan.recentStart), uInt(scan.outPos - windowStart));
    // The boundary's byte: its bits that the carrier's blocks used are skipped.
    const int used = int(scan.bitPos % kBitsPerByte);
    bool primed = used == 0;
    int64_t at = 0;  // of the next byte in the stream
    int status = Z_OK;
    size_t matched = 0;
    std::vector<uint8_t> out(kPieceSize);
    std::vector<uint8_t> trailer;
    const bool read = ForEachPiece(file, chunks, [&](const uint8_t* bytes, size_t count) {
        const int64_t start = std::clamp<int64_t>(scan.bitPos / kBitsPerByte - at, 0, int64_t(count));
        at += int64_t(count);
        bytes += start;
        count -= size_t(start);
        if (count > 0 && !primed) {
            inflatePrime(&z, kBitsPerByte - used, *bytes >> used);
            primed = true;
            ++bytes;
            --count;
        }
        z.next_in = const_cast<uint8_t*>(bytes);
        z.avail_in = uInt(count);
        while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            status = inflate(&z, Z_NO_FLUSH);
            const size_t produced = out.size() - z.avail_out;
            if (status == Z_BUF_ERROR)
                status = Z_OK;
            if ((status != Z_OK && status != Z_STREAM_END) || produced > tail.size() - matched ||
                std::memcmp(out.data(), tail.data() + matched, produced) != 0)
                return false;
            matched += produced;
            if (produced == 0 && z.avail_in == 0)
                break;
        }
        if (status == Z_STREAM_END)
            trailer.insert(trailer.end(), z.next_in, z.next_in + z.avail_in);
        return true;
    });
    inflateEnd(&z);
    uint8_t check[kAdlerSize];
    PutBigEndian32(check, adler);
    if (!read || status != Z_STREAM_END || matched != tail.size() || trailer.size() != kAdlerSize ||
        std::memcmp(trailer.data(), check, kAdlerSize) != 0)
        return unchanged;
    return {};
}

}  // namespace mirel::png
