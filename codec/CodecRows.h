#pragma once

// What the encoder and the decoder share inside the codec: reading the header, the checks on the
// geometry and the file, the row buffer, and a stream byte in and out of a group.

#include "CipherMirel.h"

#include <cstdint>
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

// Makes the row buffer. Checks first that the file holds at least one whole row, so that a header
// announcing absurd rows in a small file fails as a short file instead of asking for gigabytes.
Failure MakeRowBuffer(const BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row);
// The same for a picture called name of which rowsPresent whole rows can be read (-1: not known).
Failure MakeRowBuffer(int64_t rowsPresent, const std::string& name, const RowGeometry& geometry,
                      std::vector<uint8_t>& row);

// The file must hold every row its header promises.
Failure CheckRowsPresent(const BinaryFile& file, const RowGeometry& geometry);

// Reads count stream bytes from the groups that start at firstGroup, and the kind bit of the
// first, reading only the rows that hold them.
Failure ReadStreamFrom(BinaryFile& file, const RowGeometry& geometry, int64_t firstGroup, int64_t count,
                       std::string& bytes, uint8_t& kind);

// Puts stream byte b into the group at g.
inline void PutByte(uint8_t* g, uint8_t b)
{
    for (int k = 0; k < kBitsPerGroup; ++k)
        g[k] = static_cast<uint8_t>((g[k] & kHighBitsMask) | ((b >> k) & kLowBit));
}

// The stream byte in the group at g.
inline uint8_t TakeByte(const uint8_t* g)
{
    uint8_t b = 0;
    for (int k = 0; k < kBitsPerGroup; ++k)
        b = static_cast<uint8_t>(b | ((g[k] & kLowBit) << k));
    return b;
}

}  // namespace mirel::rows
