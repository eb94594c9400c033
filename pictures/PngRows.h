#pragma once

// PNG pictures read and written a row at a time, so that memory stays that of a few rows
// whatever the picture's size.
//
// A PNG (ISO/IEC 15948) is an 8-byte signature and chunks; what matters here:
//
//   offset  size  field
//   0       8     signature 89 50 4E 47 0D 0A 1A 0A
//   8       4     length of the first chunk, 13
//   12      4     "IHDR"
//   16      4     width, big-endian
//   20      4     height, big-endian
//   24      1     bit depth
//   25      1     colour type: 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGB and alpha
//   28      1     interlace method: 0 none, 1 Adam7
//   ...           further chunks (tRNS: transparency); IDAT: the rows, compressed; IEND
//
// Rows run top to bottom. What is read is taken as 8-bit red, green and blue as stored: no
// gamma or colour-profile conversion; 16-bit channels keep their high byte, palettes and grey are
// expanded, and alpha is dropped (transparent tells whether any pixel was less than opaque).
// What is written is 8-bit RGB without interlacing and without colour information, so that the
// pixels read back are exactly those written.
//
// The plain bitmap that holds the same pixels has its rows bottom to top and each pixel as
// blue, green, red (CipherMirel.h).

#include "BinaryFile.h"
#include "CipherMirel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mirel {

inline constexpr int kPngSignatureSize = 8;

struct PngFacts {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    bool interlaced = false;
    bool maybeTransparent = false;  // an alpha channel or a tRNS chunk
};

// The plain bitmap that holds a picture's pixels, written into a file as the rows come.
class PlainBitmapWriter {
public:
    // Writes the header of the plain bitmap of width x height pixels into bmp and makes the file
    // as long as the whole bitmap. Fails, naming picture, when the picture is beyond what can be
    // hidden in (the 32-bit figures of the bitmap and of the codec) or wider than any picture is.
    Failure begin(BinaryFile& bmp, const std::string& picture, uint32_t width, uint32_t height);
    // Puts row y, counted from the top, in its place: pixels holds red, green and blue first in
    // each of its bytesPerPixel bytes.
    Failure putRow(uint32_t y, const uint8_t* pixels, int bytesPerPixel);

private:
    BinaryFile* m_bmp = nullptr;
    RowGeometry m_geometry {};
    std::vector<uint8_t> m_row;
};

// True when bytes (at least kPngSignatureSize of them) start a PNG.
bool HasPngSignature(const uint8_t* bytes, size_t size);

// Reads the header of the PNG in file, from its first byte. Fails with the reason when it is
// not a PNG this program can read.
Failure ReadPngFacts(BinaryFile& file, PngFacts& facts);

// Writes the pixels of the PNG in png (from its first byte) into bmp, an empty file, as the
// plain bitmap that holds them, and moves bmp back to its first byte. Yields every few rows and
// stops when the user aborts (aborted is set, and bmp holds nothing useful). transparent tells
// whether a pixel was less than opaque. Interlaced pictures are decoded whole first.
Failure PngToPlainBitmap(BinaryFile& png, BinaryFile& bmp, bool& transparent, bool& aborted);

// Writes the plain bitmap in bmp as a PNG into png, an empty file. Yields every few rows and
// stops when the user aborts (aborted is set, and png holds nothing useful).
Failure PlainBitmapToPng(BinaryFile& bmp, BinaryFile& png, bool& aborted);

}  // namespace mirel
