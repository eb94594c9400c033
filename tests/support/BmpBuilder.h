#pragma once

#include <cstdint>
#include <string>

namespace mirel::test {

// Random: noise in every bit. Gradient: smooth colours. Photo: smooth colours with a camera's
// noise in their lowest bits.
enum class Pattern { Random, Gradient, Photo };

// A bitmap to make: a 54-byte header with the given fields, then rows of width * 3 bytes padded
// to a multiple of 4, then `tail` bytes after the last row.
struct BmpShape {
    int32_t width = 0;
    int32_t height = 0;
    int16_t bitsPerPixel = 24;
    int32_t pixelDataOffset = 54;
    Pattern pattern = Pattern::Random;
    uint32_t seed = 1;
    std::string tail;
    int64_t rowsWritten = -1;  // rows actually written; -1: all of them (for truncated files)
};

inline BmpShape ShapeOf(int32_t width, int32_t height)
{
    BmpShape shape;
    shape.width = width;
    shape.height = height;
    return shape;
}

std::string BmpHeaderBytes(const BmpShape& shape);
std::string MakeBmp(const BmpShape& shape);
// Writes the picture row by row, so that large ones need no memory. Returns false on failure.
bool WriteBmp(const std::string& path, const BmpShape& shape);

int64_t StrideOf(int32_t width);

}  // namespace mirel::test
