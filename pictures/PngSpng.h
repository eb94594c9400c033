#pragma once

// Inside the pictures: what the PNG readers and writers share over libspng.

#include "BinaryFile.h"
#include "CipherMirel.h"

#include <spng.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirel::png {

inline constexpr int kRgba = 4;
inline constexpr int kRowsPerYield = 64;
// An interlaced picture comes in seven passes over the whole of it. A row of pass p holds the
// pixels of its row from column kPassColumn[p] on, every kPassColumnStep[p]-th; its rows are
// every kPassRowStep[p]-th from row kPassRow[p].
inline constexpr int kPasses = 7;
inline constexpr uint32_t kPassColumn[kPasses] = {0, 4, 0, 2, 0, 1, 0};
inline constexpr uint32_t kPassColumnStep[kPasses] = {8, 8, 4, 4, 2, 2, 1};
inline constexpr uint32_t kPassRow[kPasses] = {0, 0, 4, 0, 2, 0, 1};
inline constexpr uint32_t kPassRowStep[kPasses] = {8, 8, 8, 4, 4, 2, 2};

// How many rows a progressive decode of a picture of width x height hands out: height, or when
// it is interlaced the rows of all its passes.
uint32_t ScanlinesOf(uint32_t width, uint32_t height, bool interlaced);

struct ContextDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextDeleter>;

// The file behind a libspng stream, and what went wrong with it. Reading goes through a buffer
// (libspng asks for a few bytes at a time), so the file's position runs ahead of the stream's.
struct Stream {
    BinaryFile* file;
    Failure failure;
    std::vector<uint8_t> buffer {};
    size_t at = 0;   // the next byte in buffer
    size_t end = 0;  // the bytes in buffer
};

// A decoder for the PNG in the stream's file, from where the file stands, its header read into
// ihdr. Fails with the reason when it is not a PNG that can be read.
Failure OpenPng(Stream& stream, Context& ctx, spng_ihdr& ihdr);

// The failure for a libspng error: the file's own when reading or writing failed.
Failure PngFailure(const Stream& stream, int error);

// Fails, naming picture, when a picture of width x height pixels is beyond what can be hidden in
// (the 32-bit figures of the plain bitmap and of the codec) or wider than any picture is.
Failure CheckPlainSize(const std::string& picture, uint32_t width, uint32_t height);

// Yields after every few rows, reporting row + 1 of rows as progress when rows is given; false,
// with aborted set, when the user has aborted.
bool YieldForRows(uint32_t row, bool& aborted, uint32_t rows = 0);

}  // namespace mirel::png
