#pragma once

// What the encoder and the decoder share inside the codec: reading the header, the checks on the
// geometry and the file, the row buffer, and a stream byte in and out of a group.

#include "CipherMirel.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mirel::rows {

inline constexpr uint8_t kLowBit = 0x01;
inline constexpr uint8_t kHighBitsMask = 0xFE;

// Reads the header from the start of an open file. A file shorter than the signature is simply
// not a bitmap: Refused. Failed, with the reason, when it cannot be read or ends inside the header.
CodecStatus ReadHeader(BinaryFile& file, BitmapHeader& header, Failure& failure);

// The geometry must fit the 32-bit values that stored pictures and the shared state use.
Failure CheckGeometry(const BitmapHeader& header, const RowGeometry& geometry);

// Rows that pass through this program go a batch at a time, so that one system call moves many of
// them: about this many bytes, at least one row. (A row a call made a 1 MB encode into a 72 MB
// carrier about a tenth slower.)
inline constexpr int64_t kBatchBytes = int64_t(1) << 20;

// The rows of a batch of the geometry's rows, when `rows` rows are to pass (at least one).
inline int64_t BatchRows(const RowGeometry& geometry, int64_t rows)
{
    return std::clamp<int64_t>(kBatchBytes / std::max<int64_t>(1, geometry.stride), 1, std::max<int64_t>(1, rows));
}

// Makes the row buffer, of batchRows rows. Checks first that the file holds at least one whole
// row, so that a header announcing absurd rows in a small file fails as a short file instead of
// asking for gigabytes.
Failure MakeRowBuffer(const BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row,
                      int64_t batchRows = 1);
// The same for a picture called name of which rowsPresent whole rows can be read (-1: not known).
Failure MakeRowBuffer(int64_t rowsPresent, const std::string& name, const RowGeometry& geometry,
                      std::vector<uint8_t>& row, int64_t batchRows = 1);

// The file must hold every row its header promises.
Failure CheckRowsPresent(const BinaryFile& file, const RowGeometry& geometry);

// Reads count stream bytes from the groups that start at firstGroup, and the kind bit of the
// first, reading only the rows that hold them.
Failure ReadStreamFrom(BinaryFile& file, const RowGeometry& geometry, int64_t firstGroup, int64_t count,
                       std::string& bytes, uint8_t& kind);

// A group's eight bytes that carry the stream byte are handled as one 64-bit word, byte k of the
// group in bits 8k to 8k + 7 (on little-endian machines; others go a byte at a time).
inline constexpr bool kWordsInOrder = std::endian::native == std::endian::little;
inline constexpr uint64_t kLowBitOfEach = 0x0101010101010101;
inline constexpr uint64_t kBitKOfByteK = 0x8040201008040201;     // bit k set in byte k
inline constexpr uint64_t kBelowHighBit = 0x7F7F7F7F7F7F7F7F;     // added, sets the high bit of
                                                                // each byte that is not 0
inline constexpr uint64_t kGatherLowBits = 0x0102040810204080;  // multiplied, puts the lowest bit
                                                                // of byte k at bit 56 + k

// Puts stream byte b into the group at g: bit k into the lowest bit of g[k].
inline void PutByte(uint8_t* g, uint8_t b)
{
    if constexpr (kWordsInOrder) {
        uint64_t word;
        std::memcpy(&word, g, sizeof word);
        const uint64_t bits = ((((b * kLowBitOfEach) & kBitKOfByteK) + kBelowHighBit) >> 7) & kLowBitOfEach;
        word = (word & ~kLowBitOfEach) | bits;
        std::memcpy(g, &word, sizeof word);
    } else {
        for (int k = 0; k < kBitsPerGroup; ++k)
            g[k] = static_cast<uint8_t>((g[k] & kHighBitsMask) | ((b >> k) & kLowBit));
    }
}

// The stream byte in the group at g.
inline uint8_t TakeByte(const uint8_t* g)
{
    if constexpr (kWordsInOrder) {
        uint64_t word;
        std::memcpy(&word, g, sizeof word);
        return static_cast<uint8_t>(((word & kLowBitOfEach) * kGatherLowBits) >> 56);
    } else {
        uint8_t b = 0;
        for (int k = 0; k < kBitsPerGroup; ++k)
            b = static_cast<uint8_t>(b | ((g[k] & kLowBit) << k));
        return b;
    }
}

}  // namespace mirel::rows
