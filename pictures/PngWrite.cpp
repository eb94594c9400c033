// The whole of a plain bitmap written as a PNG, its rows filtered and compressed in bands on all
// cores at once.
//
// The image data is still one zlib stream: the 2-byte header, then each band's rows as raw
// deflate blocks that end on a byte (a sync flush; the last band's end the stream), then the
// Adler-32 of all filtered rows, joined from those of the bands. Each band is compressed with
// the 32 KB of filtered rows before it as its dictionary, so that it may refer back into the band
// before as one long stream would; the worker filters those rows again itself (a row's filter
// depends only on it and the row above), so that no band waits for another. The bands' sizes
// do not depend on the number of cores: a picture is written the same on every machine.
//
// Each row gets the filter of the five whose bytes have the least sum of magnitudes, and each band
// the compression that suits it: run lengths only (fast; as small as full matching on photos,
// whose lowest bits are noise), or zlib's usual level where a trial on the band's first bytes
// shows that matching saves more than a little (drawings, screenshots, flat colours).
#include "PngImageData.h"
#include "PngRows.h"
#include "PngSpng.h"
#include "Ui.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <future>
#include <thread>
#include <vector>

namespace mirel {

using namespace png;

namespace {

// A band aims at this many bytes of rows (at least one row); a round of bands, one a core, holds
// at most kMostRoundBytes of them, and as much again filtered and compressed.
constexpr int64_t kBandBytes = int64_t(2) << 20;
constexpr int64_t kMostRoundBytes = int64_t(16) << 20;
constexpr unsigned kMostThreads = 8;
// The trial of full matching: on this many of a band's first filtered bytes; it is taken when it
// makes them smaller than this share (in %) of what run lengths do.
constexpr size_t kTrialBytes = size_t(32) << 10;
constexpr uLong kMatchingWorthPercent = 97;
// The zlib header: deflate with a 32 KB window (0x78), no dictionary, the usual level (0x9C).
constexpr uint8_t kZlibHeader[] = {0x78, 0x9C};

// The unfiltered rows of the round the workers see (blue, green, red, as in the bitmap): the
// round's own and those before it that the first band's dictionary needs.
struct RoundRows {
    int64_t first = 0;                  // the first row held, from the top
    std::vector<const uint8_t*> rows;   // row first + k at rows[k]
    std::vector<uint8_t> zeros;         // the row above the first

    const uint8_t* above(int64_t y) const { return y == 0 ? zeros.data() : rows[size_t(y - 1 - first)]; }
    const uint8_t* row(int64_t y) const { return rows[size_t(y - first)]; }
};

// One band: rows [first, end), filtered and compressed by a worker.
struct Band {
    int64_t first = 0;
    int64_t end = 0;
    bool last = false;              // the picture's last band ends the stream
    std::vector<uint8_t> filtered;  // the dictionary's rows, then the band's own
    size_t ownFrom = 0;             // where the band's own rows start in filtered
    std::vector<uint8_t> compressed;
    uLong adler = 1;                // of the band's own filtered rows
    bool failed = false;
};

// Compresses bytes into out as raw deflate blocks with the given level and strategy and
// dictionary; the last band finishes the stream, any other ends on a byte boundary. False when
// zlib fails (it only can for memory).
bool deflateBand(const uint8_t* bytes, size_t count, const uint8_t* dictionary, size_t dictionaryBytes, int level,
                 int strategy, bool last, std::vector<uint8_t>& out)
{
    z_stream z {};
    if (deflateInit2(&z, level, Z_DEFLATED, -kWindowBits, kMemLevel, strategy) != Z_OK)
        return false;
    int status = dictionaryBytes ? deflateSetDictionary(&z, dictionary, uInt(dictionaryBytes)) : Z_OK;
    out.resize(deflateBound(&z, uLong(count)) + kBoundSlack);
    z.next_in = const_cast<uint8_t*>(bytes);
    z.avail_in = uInt(count);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    if (status == Z_OK)
        status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done = last ? status == Z_STREAM_END : status == Z_OK && z.avail_in == 0 && z.avail_out > 0;
    out.resize(z.total_out);
    deflateEnd(&z);
    return done;
}

// The strategy for a band's filtered bytes: run lengths, unless the trial shows matching worth it.
bool matchingWorthIt(const uint8_t* bytes, size_t count)
{
    count = std::min(count, kTrialBytes);
    std::vector<uint8_t> runs;
    std::vector<uint8_t> matched;
    if (!deflateBand(bytes, count, nullptr, 0, Z_DEFAULT_COMPRESSION, Z_RLE, true, runs) ||
        !deflateBand(bytes, count, nullptr, 0, Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY, true, matched))
        return false;
    return matched.size() * 100 < runs.size() * kMatchingWorthPercent;
}

// A worker's whole task: filters the band's rows, and the dictionary's before them, then
// compresses them. Sets failed when memory runs out.
void runBand(const RoundRows& rows, int64_t dictionaryRows, size_t pixelBytes, Band& band)
{
    try {
        const size_t rowBytes = 1 + pixelBytes;
        const int64_t from = std::max<int64_t>(0, band.first - dictionaryRows);
        band.filtered.resize(size_t(band.end - from) * rowBytes);
        std::vector<uint8_t> row(pixelBytes);
        uint8_t* out = band.filtered.data();
        for (int64_t y = from; y < band.end; ++y, out += rowBytes) {
            out[0] = BestFilter(rows.row(y), rows.above(y), pixelBytes);
            FilterRow(out[0], rows.row(y), rows.above(y), pixelBytes, row.data());
            SwapRedAndBlue(row.data(), out + 1, pixelBytes / kBytesPerPixel);
        }
        band.ownFrom = size_t(band.first - from) * rowBytes;
        const uint8_t* own = band.filtered.data() + band.ownFrom;
        const size_t ownBytes = band.filtered.size() - band.ownFrom;
        const size_t dictionaryBytes = std::min<size_t>(band.ownFrom, size_t(kWindowSize));
        band.adler = adler32(1, own, uInt(ownBytes));
        const bool matching = matchingWorthIt(own, ownBytes);
        band.failed = !deflateBand(own, ownBytes, own - dictionaryBytes, dictionaryBytes, Z_DEFAULT_COMPRESSION,
                                   matching ? Z_DEFAULT_STRATEGY : Z_RLE, band.last, band.compressed);
    } catch (const std::bad_alloc&) {
        band.failed = true;
    }
}

// Runs every band, the first on this thread and each other on a thread of its own (or on this
// one when no thread can be started).
void runBands(const RoundRows& rows, int64_t dictionaryRows, size_t pixelBytes, std::vector<Band>& bands)
{
    std::vector<std::future<void>> others;
    for (size_t k = 1; k < bands.size(); ++k)
        others.push_back(StartAside([&, k] { runBand(rows, dictionaryRows, pixelBytes, bands[k]); }));
    runBand(rows, dictionaryRows, pixelBytes, bands[0]);
    for (std::future<void>& done : others)
        done.get();
}

// The plain bitmap in bmp read a round at a time: rows [first, end) from the top, which lie
// bottom to top in one run of the file, with the rows just before them kept from the round
// before for the first band's dictionary.
class RoundReader {
public:
    RoundReader(BinaryFile& bmp, const RowGeometry& geometry, int64_t keptRows)
        : m_bmp(bmp), m_geometry(geometry), m_keptRows(keptRows)
    {
        m_rows.zeros.assign(size_t(geometry.dataBytes), 0);
    }

    Failure read(int64_t first, int64_t end)
    {
        const auto stride = size_t(m_geometry.stride);
        const int64_t kept = std::min(first, m_keptRows);
        // The last rows of the round before (some of them may be among those it kept itself).
        std::vector<uint8_t> keep(size_t(kept) * stride);
        for (int64_t k = 0; k < kept; ++k)
            std::memcpy(keep.data() + size_t(k) * stride, m_rows.row(first - kept + k), stride);
        m_kept.swap(keep);
        m_run.resize(size_t(end - first) * stride);
        if (Failure f = m_bmp.readAt(kHeaderSize + (m_geometry.rows - end) * int64_t(stride), m_run.data(),
                                     m_run.size()))
            return f;
        m_rows.first = first - kept;
        m_rows.rows.clear();
        for (int64_t k = 0; k < kept; ++k)
            m_rows.rows.push_back(m_kept.data() + size_t(k) * stride);
        for (int64_t y = first; y < end; ++y)
            m_rows.rows.push_back(m_run.data() + size_t(end - 1 - y) * stride);
        return {};
    }

    const RoundRows& rows() const { return m_rows; }

private:
    BinaryFile& m_bmp;
    const RowGeometry& m_geometry;
    const int64_t m_keptRows;
    std::vector<uint8_t> m_kept;
    std::vector<uint8_t> m_run;
    RoundRows m_rows;
};

// Writes the signature and the header chunk of an 8-bit RGB PNG of width x height pixels.
Failure writeHead(BinaryFile& png, uint32_t width, uint32_t height)
{
    uint8_t ihdr[kIhdrSize] = {};
    PutBigEndian32(ihdr, width);
    PutBigEndian32(ihdr + kIhdrHeightOffset, height);
    ihdr[kIhdrDepthOffset] = kDepth;
    ihdr[kIhdrDepthOffset + 1] = kColorTypeRgb;
    if (Failure f = png.write(kPngSignature, sizeof kPngSignature))
        return f;
    return WriteChunk(png, "IHDR", ihdr, kIhdrSize);
}

}  // namespace

Failure PlainBitmapToPng(BinaryFile& bmp, BinaryFile& png, bool& aborted)
{
    aborted = false;
    BitmapHeader header;
    if (Failure f = bmp.readAt(0, header.bytes, kHeaderSize))
        return f;
    if (!header.isPlain())
        return {ErrorCode::InvalidArgument, bmp.path() + ": not a plain bitmap"};
    const RowGeometry geometry = GeometryOf(header);
    const auto width = static_cast<uint32_t>(header.width());
    const int64_t height = geometry.rows;
    if (Failure f = CheckPlainSize(bmp.path(), width, uint32_t(height)))
        return f;
    const auto pixelBytes = size_t(width) * kBytesPerPixel;
    const int64_t bandRows = std::max<int64_t>(1, kBandBytes / geometry.stride);
    const auto bandsPerRound = int64_t(std::clamp<int64_t>(
        std::min<int64_t>(std::thread::hardware_concurrency(), kMostRoundBytes / (bandRows * geometry.stride)), 1,
        kMostThreads));
    const int64_t dictionaryRows = (kWindowSize + int64_t(pixelBytes)) / int64_t(1 + pixelBytes);

    if (Failure f = writeHead(png, width, uint32_t(height)))
        return f;
    IdatWriter idat(png);
    if (Failure f = idat.add(kZlibHeader, sizeof kZlibHeader))
        return f;
    uLong adler = 1;
    RoundReader reader(bmp, geometry, dictionaryRows + 1);
    std::vector<Band> bands;
    for (int64_t first = 0; first < height;) {
        const int64_t end = std::min(height, first + bandRows * bandsPerRound);
        if (Failure f = reader.read(first, end))
            return f;
        bands.clear();
        for (int64_t y = first; y < end; y += bandRows) {
            Band& band = bands.emplace_back();
            band.first = y;
            band.end = std::min(end, y + bandRows);
            band.last = band.end == height;
        }
        runBands(reader.rows(), dictionaryRows, pixelBytes, bands);
        for (const Band& band : bands) {
            if (band.failed)
                return {ErrorCode::OutOfMemory, png.path() + ": no room to compress its rows"};
            if (Failure f = idat.add(band.compressed.data(), band.compressed.size()))
                return f;
            adler = adler32_combine(adler, band.adler, z_off_t(band.filtered.size() - band.ownFrom));
        }
        first = end;
        Progress(first, height);
        Yield();
        if ((aborted = gAbort))
            return {};
    }
    uint8_t check[kAdlerSize];
    PutBigEndian32(check, uint32_t(adler));
    if (Failure f = idat.add(check, sizeof check); f || (f = idat.flush()))
        return f;
    if (Failure f = WriteChunk(png, "IEND", nullptr, 0))
        return f;
    // What is on disk is read back: every chunk whole and as long as written.
    constexpr int64_t kFraming = kChunkHeaderSize + kCrcSize;
    const int64_t idatChunks = (idat.written() + int64_t(kPieceSize) - 1) / int64_t(kPieceSize);
    const int64_t length = kPngSignatureSize + (kFraming + kIhdrSize) + (idatChunks * kFraming + idat.written()) +
                           kFraming;
    return CheckWrittenPng(png, length, idat.written());
}

}  // namespace mirel
