#pragma once

// Inside the pictures: a new PNG made from a PNG carrier by compressing again only what changes.
//
// The stream of the plain layout lies in the bitmap's first rows, the PNG's last. The carrier's
// image data (one zlib stream over the IDAT chunks: a 2-byte header, deflate blocks, the
// Adler-32 of the filtered rows, big-endian) is inflated once; of the boundaries between its
// deflate blocks, the last one before the first row that holds the stream is kept, with its bit
// position, the Adler-32 of what came before it and the 32 KB before it. The new image data is
// the carrier's bytes up to that bit, unchanged, then the rest compressed again as blocks that
// go on from there (the 32 KB as their dictionary), then the Adler-32 of the whole. Rows that
// change are filtered again with the filter each had. The carrier's IDAT chunks wholly before
// the boundary are copied as they are, their CRCs with them.
//
// Chunks kept: IHDR, the image data, IEND, and the ancillary chunks marked safe to copy (fifth
// bit of their fourth letter set: texts, times, physical size, ...), in their places. Chunks
// that describe colours (gAMA, iCCP, sRGB, ...) are not safe to copy after the pixels change
// and are dropped, as the full writer drops them.

#include "BinaryFile.h"
#include "CipherMirel.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mirel::png {

// Hides payload in the PNG carrier (open, anywhere) after `offset` groups, as HidePayloadInto
// does, and puts the new PNG at destinationPath once it is complete and what it holds from the
// kept block boundary on reads back from the file as intended. Returns false, having written
// nothing and changed nothing, when the carrier is not one that can be spliced (not 8-bit RGB,
// interlaced, transparent, with a preset dictionary, a stream that does not fit after the
// offset, more changing rows than memory allows, ...): the caller then writes the whole picture.
// Otherwise true, with the encoder's result in result: Ok, Failed with the reason (also for a
// carrier whose image data is damaged), Aborted.
bool SplicePng(BinaryFile& carrier, const std::string& destinationPath, std::string_view payload, uint8_t kind,
               int32_t& offset, CodecResult& result);

}  // namespace mirel::png
