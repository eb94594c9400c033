#pragma once

// Pictures of any kind as carriers, and BMP or PNG pictures out.
//
// A carrier that is a plain bitmap (CipherMirel.h) is used as it is. Any other carrier, a BMP of
// another layout or depth, a PNG, or whatever the image readers installed with Qt read (JPEG,
// GIF, TIFF, WebP, ...), is first turned into the plain bitmap that holds the same pixels, in a
// scratch file, and the payload is hidden in that. A PNG is turned a row at a time; other
// formats go through Qt's readers, which hold the whole picture. Transparency cannot be kept.
//
// The new picture is written as the destination's extension says: ".png" a PNG with exactly its
// pixels (PngRows.h), a lossy format (.jpg, .webp, ...) not at all, as it would change the pixels
// and lose what is hidden, and any other name the plain bitmap. A PNG is decoded as the plain
// bitmap that holds its pixels; a BMP as it is, whatever its header says.

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "Stealth.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirel {

enum class PictureFormat {
    PlainBitmap,  // used as it is
    Bitmap,       // another BMP: turned into a plain bitmap when it is a carrier
    Png,          // turned into a plain bitmap, a row at a time
    Other,        // another format that Qt reads: turned into a plain bitmap
    Unknown,      // nothing that can be read
};

struct PictureFacts {
    PictureFormat format = PictureFormat::Unknown;
    std::string formatName;  // "BMP", "PNG", "JPEG", ...
    std::string layout;      // e.g. "24 bits a pixel, pixels at byte 54", "8-bit RGB and alpha"
    int64_t width = 0;
    int64_t height = 0;
    int bitsPerPixel = 0;
    bool deepChannels = false;  // more than 8 bits a channel, which the plain bitmap cannot keep
};

// The most pixels a picture may have: a carrier or a picture to decode beyond it is refused before
// anything is converted or read (its plain bitmap would take some 768 MB).
inline constexpr int64_t kMostPixels = int64_t(256) << 20;

// What the picture at path is, from its first bytes and its header only. Failed, with the reason,
// when it cannot be opened or read; Unknown is no failure.
CodecStatus ProbePicture(const std::string& path, PictureFacts& facts, Failure& failure);

// The payload bytes a carrier of these facts takes once it is a plain bitmap; 0 when none.
int64_t ConvertedCapacity(const PictureFacts& facts);

// The one way in for encoding: hides payload in the carrier at carrierPath, after `offset` groups
// (counted down as the codec passes them over), and writes the new picture as destinationPath's
// extension says. The destination stays as it was until the new picture is complete and reads
// back as written; nothing else is left behind. Refused, with the reason in the messages, for a
// destination of a lossy picture format, or one that is not a file or is the carrier itself, and
// for the codec's refusals; Failed or Aborted as the codec says (HidePayloadInto). A carrier with
// transparency gets a note, first in the messages, that it is not kept; a replaced file whose
// owner, attributes or other hard links the new picture could not keep gets one last. A PNG of
// 8-bit RGB written as a PNG is spliced (PngSplice.h): the same pixels, far less work.
CodecResult HideInPicture(const std::string& carrierPath, const std::string& destinationPath,
                          std::string_view payload, uint8_t kind, int32_t& offset);

// HideInPicture's stealth twin: hides kind and payload in the carrier in the stealth layout
// (Stealth.h) with password (UTF-8), holding the carrier's pixels in memory. The same checks,
// refusals and guarantees; Refused also without a password or when the payload is over the
// stealth capacity.
CodecResult HideStealthInPicture(const std::string& carrierPath, const std::string& destinationPath,
                                 std::string_view payload, uint8_t kind, std::string_view password);

// A picture opened for decoding and checked, waiting for the offset: a bitmap, or a PNG whose
// rows are decoded as the decoder asks for them.
struct PictureToDecode {
    PictureToDecode() = default;
    // pngRows reads file where it is: neither moves.
    PictureToDecode(PictureToDecode&&) = delete;
    PictureToDecode& operator=(PictureToDecode&&) = delete;

    BinaryFile file;                       // the picture as opened
    std::unique_ptr<BitmapRows> pngRows;   // the rows of a PNG's plain bitmap; none for a bitmap
    BitmapHeader header;                   // the bitmap's, or that of the PNG's plain bitmap
};

// The one way in for decoding, in two steps, so that a program may ask for the offset between
// them. OpenToDecode opens the picture at path (nothing is ever created there) and checks it:
// Refused when it is not a bitmap (a PNG counts as the bitmap of its pixels), Failed when it
// cannot be read or is a PNG beyond what can be hidden in. A PNG's rows are only read by
// RevealFromPicture, which fails when they cannot be.
CodecResult OpenToDecode(const std::string& path, PictureToDecode& picture);
// RevealFromPicture then reads the payload from group `offset` on, counting offset down; results
// as RevealPayloadFrom's.
CodecResult RevealFromPicture(PictureToDecode& picture, int32_t& offset);

// True when path names a picture format that changes pixels (.jpg, .webp, .gif, .tif, ...), whose
// hidden data would be lost: such a new picture is refused. ".png" is written as a PNG, and any
// other name as the plain bitmap.
bool IsLossyPictureName(const std::string& path);

// Reads a stealth payload from a picture that OpenToDecode opened, with password (UTF-8); results
// as RevealStealthFrom's. Leaves the picture where RevealFromPicture can read it afterwards.
CodecResult RevealStealthFromPicture(PictureToDecode& picture, std::string_view password);

// True when what a bitmap picture holds at offset 0 starts like a sealed box, which the stealth
// layout never does: such a picture need not pay the stealth attempt. False for a PNG.
bool HoldsSealedBox(PictureToDecode& picture);

// The extensions (lower case, without the dot) of the pictures that can be carriers: BMP, PNG
// and those of every image reader installed with Qt.
std::vector<std::string> ReadablePictureExtensions();

}  // namespace mirel
