#pragma once

// Inside the pictures: a PNG's chunks and image data as the splice (PngSplice.h) and the whole
// writer (PngWrite.cpp) read, filter and write them, without libspng.
//
//   chunk:  offset  size    field
//           0       4       length of the data, big-endian, at most 2^31 - 1
//           4       4       type: four letters; a lower-case first letter marks an ancillary
//                           chunk, a lower-case fourth letter one that is safe to copy
//           8       length  data
//           8+len   4       CRC-32 of type and data, big-endian
//
//   IHDR data (13 bytes): width (4), height (4), bit depth (1), colour type (1), compression (1),
//   filter method (1), interlace method (1).
//
// The image data of 8-bit RGB is, for each row from the top, a filter byte (0 none, 1 sub, 2 up,
// 3 average, 4 Paeth) and the row's 3 x width bytes, filtered; all rows as one zlib stream.

#include "BinaryFile.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace mirel::png {

inline constexpr int kChunkHeaderSize = 8;
inline constexpr int kChunkTypeOffset = 4;
inline constexpr int kCrcSize = 4;
inline constexpr uint32_t kIhdrSize = 13;
inline constexpr int kIhdrHeightOffset = 4;
inline constexpr int kIhdrDepthOffset = 8;
inline constexpr uint32_t kMostChunkLength = 0x7FFFFFFF;
// The one layout this program writes: 8-bit RGB.
inline constexpr uint8_t kDepth = 8;
inline constexpr uint8_t kColorTypeRgb = 2;
inline constexpr uint8_t kLowerCaseBit = 0x20;
inline constexpr int kWindowBits = 15;
inline constexpr int64_t kWindowSize = int64_t(1) << kWindowBits;
inline constexpr int kMemLevel = 8;
inline constexpr int kZlibHeaderBits = 16;
inline constexpr int kAdlerSize = 4;
inline constexpr size_t kBoundSlack = 64;
inline constexpr size_t kPieceSize = size_t(1) << 16;

struct Chunk {
    int64_t at = 0;  // where its length field is in the file
    uint32_t length = 0;
    char type[4] {};
    uint32_t crc = 0;  // as stored

    bool is(const char* name) const { return std::memcmp(type, name, sizeof type) == 0; }
    int64_t size() const { return kChunkHeaderSize + int64_t(length) + kCrcSize; }
};

// An 8-bit RGB PNG that is not interlaced, its chunks listed.
struct Carrier {
    BinaryFile* file = nullptr;
    std::vector<Chunk> chunks;
    size_t firstIdat = 0;  // indexes into chunks: the image data runs from firstIdat to lastIdat
    size_t lastIdat = 0;
    uint32_t width = 0;
    int64_t height = 0;
};

// What the pass over the carrier's image data keeps.
struct Scan {
    int64_t firstRow = 0;               // the first row (from the top) that may change
    int64_t bitPos = kZlibHeaderBits;   // the kept block boundary, in bits from the stream's start
    int64_t outPos = 0;                 // and in bytes of the filtered rows
    uLong adler = 1;                    // the Adler-32 of the filtered rows before outPos
    uint8_t partialByte = 0;            // the stream's byte at bitPos / 8
    std::vector<uint8_t> recent;        // filtered bytes from recentStart on: the 32 KB before
    int64_t recentStart = 0;            // outPos, and everything after it
    std::vector<uint8_t> pixels;        // unfiltered rows firstRow - 1 (zeros when there is none)
                                        // to the last, 3 x width bytes each
};

uint32_t BigEndian32(const uint8_t* bytes);
void PutBigEndian32(uint8_t* bytes, uint32_t value);

// Lists the chunks of the PNG in file, from after its signature to IEND. False when the file
// cannot be read, ends inside a chunk, or has no IEND within a million chunks.
bool ListChunks(BinaryFile& file, std::vector<Chunk>& chunks);

// The bytes of a row of the image data: the filter byte and the pixels.
inline size_t RowBytes(uint32_t width)
{
    return 1 + size_t(width) * 3;
}

// Turns pixels of red, green, blue into blue, green, red, or back.
void SwapRedAndBlue(const uint8_t* from, uint8_t* to, size_t pixels);

// Filters the pixels of a row (count bytes, 3 a pixel) with filter type, given the unfiltered row
// above (zeros for the first row), into out. type must be 0 to 4. A filter only looks at the same
// byte of the pixel to the left and above, so rows of blue, green, red filter as well as the same
// rows of red, green, blue, their bytes in the other order.
void FilterRow(uint8_t type, const uint8_t* pixels, const uint8_t* above, size_t count, uint8_t* out);
// The filter type that suits the row best, as FilterRow takes them: the one whose filtered bytes,
// read as signed, have the least sum of magnitudes.
uint8_t BestFilter(const uint8_t* pixels, const uint8_t* above, size_t count);
// The other way: unfilters the count filtered bytes in place. False for a type beyond 4.
bool UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* above, size_t count);

// The IDAT chunks of a new PNG, written into out as the image data comes, each kPieceSize bytes of
// data but the last (written by flush()). written() counts the data handed to it so far.
class IdatWriter {
public:
    explicit IdatWriter(BinaryFile& out);
    Failure add(const uint8_t* bytes, size_t count);
    Failure flush();
    int64_t written() const { return m_written; }

private:
    BinaryFile& m_out;
    std::vector<uint8_t> m_chunk;
    int64_t m_written = 0;
};

// Writes a chunk of the given type (four letters) and data into out, its CRC computed.
Failure WriteChunk(BinaryFile& out, const char* type, const uint8_t* data, uint32_t length);

// Hands the data of the IDAT chunks of file, in order, to take(bytes, count) a piece at a time,
// checking each chunk's CRC, and with everyChunk that of every other chunk too. False when a CRC
// is wrong, a read fails or take says stop.
template <typename Take>
bool ForEachPiece(BinaryFile& file, const std::vector<Chunk>& chunks, Take take, bool everyChunk = false)
{
    std::vector<uint8_t> piece(kPieceSize);
    for (const Chunk& chunk : chunks) {
        const bool data = chunk.is("IDAT");
        if (!data && !everyChunk)
            continue;
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.type), sizeof chunk.type);
        for (uint32_t done = 0; done < chunk.length;) {
            const auto count = std::min<size_t>(piece.size(), chunk.length - done);
            if (file.readAt(chunk.at + kChunkHeaderSize + done, piece.data(), count))
                return false;
            crc = crc32(crc, piece.data(), uInt(count));
            if (data && !take(piece.data(), count))
                return false;
            done += uint32_t(count);
        }
        uint8_t stored[kCrcSize];
        if (file.readAt(chunk.at + kChunkHeaderSize + chunk.length, stored, sizeof stored) ||
            BigEndian32(stored) != uint32_t(crc))
            return false;
    }
    return true;
}

// Reads the PNG written in file back: it must be length bytes long, every chunk's CRC right, its
// IDAT chunks idatBytes of data in all. Fails with DeviceIo, naming the file, when not.
Failure CheckWrittenPng(BinaryFile& file, int64_t length, int64_t idatBytes);

enum class ScanEnd { Done, Unsuitable, Aborted };

// Reads the chunk list of the PNG in file into carrier. False when it is not 8-bit RGB without
// interlacing, its IDAT chunks in one run, with no critical chunk but IHDR, PLTE (for toSplice
// not even that, nor tRNS), IDAT and IEND.
bool ReadCarrier(BinaryFile& file, Carrier& carrier, bool toSplice);

// Called on the reading thread with each piece of filtered rows as inflate hands it out, the
// stream as it stands after it and the last byte it took; false stops.
using Inflated = std::function<bool(const z_stream&, uint8_t, const uint8_t*, size_t)>;
// Called on a second thread with each row from the top, unfiltered (3 x width bytes), in order.
using RowTaker = std::function<void(int64_t, const uint8_t*)>;

// Inflates the carrier's image data, the CRC of each chunk checked, up to and with row lastRow
// (to the stream's end when that is the last), a deflate block at a time when inflated is given,
// and unfilters the rows on a second thread while the next ones are inflated, two batches of
// about a megabyte held. Yields after every batch. Unsuitable when the image data is damaged or
// does not end with the last row.
ScanEnd InflateRows(const Carrier& carrier, int64_t lastRow, const Inflated& inflated, const RowTaker& take);

// Inflates the carrier's image data (checking every chunk's CRC and the stream's end), and keeps
// what Scan says for scan.firstRow: the last block boundary at or before that row's first byte.
// Yields every few rows. Unsuitable for damaged image data, a preset dictionary, or more than
// mostRecent bytes to hold; Aborted when the user aborted.
ScanEnd ScanImage(const Carrier& carrier, Scan& scan, int64_t mostRecent);

// Writes the new PNG into out, an empty file: the carrier's chunks that are kept, and as its
// image data the carrier's stream up to the kept boundary (the IDAT chunks wholly before it copied
// as they are, by the kernel where it can), compressed and the Adler-32 adler.
Failure WriteSpliced(const Carrier& carrier, const Scan& scan, const std::vector<uint8_t>& compressed,
                     uint32_t adler, BinaryFile& out);

// Reads the image data of the PNG written in file back from the kept boundary on and checks that
// it inflates to tail and ends with adler, every chunk's CRC right, and the IDAT chunks copied
// from the carrier those that were scanned. Fails with DeviceIo when not.
Failure CheckSpliced(BinaryFile& file, const Carrier& carrier, const Scan& scan, const std::vector<uint8_t>& tail,
                     uint32_t adler);

}  // namespace mirel::png
