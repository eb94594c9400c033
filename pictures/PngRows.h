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
inline constexpr uint8_t kPngSignature[kPngSignatureSize] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

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
    // The same for a row of pass of an interlaced picture: only the pixels of that pass are
    // put in place, the others are kept as they are.
    Failure putPass(uint32_t y, const uint8_t* pixels, int bytesPerPixel, int pass);

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
// whether a pixel was less than opaque. An interlaced picture is put together a row of a pass at
// a time.
Failure PngToPlainBitmap(BinaryFile& png, BinaryFile& bmp, bool& transparent, bool& aborted);

// The rows of the plain bitmap that holds a PNG's pixels, handed to the decoder as it walks
// them, without that bitmap being written anywhere. Only the lowest bit of each byte is kept:
// a pass over the PNG keeps those of a window of rows (at most windowBytes of them, at least one
// row), starting with the first row the decoder asks for, and a row past the window takes
// another pass, which stops once the window is complete. The PNG file must outlive the object.
class PngBitmapRows final : public BitmapRows {
public:
    static constexpr size_t kWindowBytes = size_t(24) << 20;

    // Reads the header of the PNG in png, from its first byte, and puts the plain bitmap's header
    // in header. Fails, naming the picture, when it is not a PNG that can be read or is beyond
    // what can be hidden in (as PlainBitmapWriter::begin).
    Failure open(BinaryFile& png, BitmapHeader& header, size_t windowBytes = kWindowBytes);
    // Rows as BitmapRows says, the lowest bit of each byte as in the plain bitmap, the other bits
    // 0. Fails with the reason the PNG cannot be read. A pass yields every few rows and stops
    // when the user aborts (no failure; the row holds nothing useful).
    Failure nextRow(uint8_t* row, size_t size) override;
    int64_t rowsPresent() const override { return m_height; }
    const std::string& name() const override;

private:
    // One pass over the PNG that keeps the window of rows from firstRow on.
    Failure decodeWindow(int64_t firstRow);
    // Keeps the lowest bits of the PNG's row y (from the top), of pixels of bytesPerPixel bytes
    // with red, green and blue first, when it is in the window: those of pass (of an interlaced
    // picture; the last pass holds every pixel of its rows, as a row that is not interlaced does).
    void keepRow(int64_t y, const uint8_t* pixels, int bytesPerPixel, int pass);

    BinaryFile* m_png = nullptr;
    uint32_t m_width = 0;
    int64_t m_height = 0;
    size_t m_bitBytes = 0;     // the bytes of one kept row: one bit for each byte of the row
    int64_t m_windowRows = 0;  // rows a window holds at most
    int64_t m_first = 0;       // the first row of the bitmap in the window
    int64_t m_kept = 0;        // rows in the window
    int64_t m_next = 0;        // the row the decoder asks for next
    std::vector<uint8_t> m_bits;
};

// Writes the plain bitmap in bmp as a PNG into png, an empty file, on all cores, and reads what
// png holds back (PngWrite.cpp). Yields after every round of bands and stops when the user aborts
// (aborted is set, and png holds nothing useful). Fails with the reason when a file cannot be read
// or written, memory runs out, or png does not read back as written (DeviceIo).
Failure PlainBitmapToPng(BinaryFile& bmp, BinaryFile& png, bool& aborted);

}  // namespace mirel
