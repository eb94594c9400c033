#pragma once

// Hiding a payload in the least significant bits of an uncompressed bitmap, and getting it back.
//
// The carrier
// -----------
// A carrier starts with a 54-byte header (BitmapHeader), little-endian, no gaps:
//
//   offset size field                      use here
//   0      2    signature                  must be "BM"
//   2      4    file size                  copied only
//   6      4    reserved                   copied only
//   10     4    offset of the pixel data   copied only; not consulted
//   14     4    size of the info header    copied only
//   18     4    width in pixels, signed    row geometry and capacity
//   22     4    height in pixels, signed   number of rows and capacity
//   26     2    planes                     copied only
//   28     2    bits per pixel             copied only; not consulted
//   30     4    compression                copied only; not consulted
//   34..53      image size, resolutions, colours used, important colours: copied only
//
// Whatever the header says about depth, compression or where the pixels start, the rows are
// walked as 24-bit rows from byte 54 on: width * 3 data bytes, padded to a multiple of 4 (the
// stride). There are height rows (none when height <= 0), in file order.
//
// A plain bitmap is one whose header says just that: a 40-byte info header, the pixels at byte
// 54, one plane, 24 bits per pixel (blue, green, red), no compression, a width and a height
// above 0 (rows stored bottom to top). Carriers of every other kind are turned into the plain
// bitmap that holds the same pixels before anything is hidden in them (pictures/).
//
// Groups
// ------
// Each row is cut into groups of nine bytes (three pixels) from its first byte; a group is used
// while it lies wholly within the width * 3 data bytes, so a row has floor(width / 3) groups and
// its last (width mod 3) * 3 data bytes and its padding never change. Groups are numbered from 0
// over the whole picture, row after row. The picture holds floor(width / 3) * height groups.
//
// The hidden stream
// -----------------
//   bytes 0..3  length of the payload, least significant byte first (0 to 2147483647)
//   bytes 4..   the payload: a message, or a file as [name length n][n name bytes][data];
//               enciphered as a whole by the caller when a password is set
//
// Stream byte b takes one whole group g[0..8]: bit k of b lies in the lowest bit of g[k] for
// k = 0..7. The lowest bit of g[8] of the first stream group holds the payload kind (0 message,
// 1 file); every other g[8] is left alone. The stream occupies consecutive groups, starting at
// the group that the offset names (0: the first). There is no signature and no checksum.

#include "BinaryFile.h"
#include "ErrorCode.h"
#include "Ui.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace mirel {

inline constexpr int kHeaderSize = 54;
inline constexpr int kSignatureSize = 2;
inline constexpr int kFileSizeOffset = 2;
inline constexpr int kInfoSizeOffset = 14;
inline constexpr int kInfoSize = 40;
inline constexpr int kPlanesOffset = 26;
inline constexpr int kCompressionOffset = 30;
inline constexpr int kImageSizeOffset = 34;
inline constexpr int kResolutionOffset = 38;  // horizontal, then vertical, in pixels a metre
inline constexpr int kWidthOffset = 18;
inline constexpr int kHeightOffset = 22;
inline constexpr int kBitsPerPixelOffset = 28;
inline constexpr int kPixelDataOffsetField = 10;
inline constexpr int kBytesPerPixel = 3;
inline constexpr int kGroupBytes = 9;
inline constexpr int kBitsPerGroup = 8;   // g[0..7] carry the stream byte
inline constexpr int kKindByte = 8;       // g[8] of the first stream group carries the kind
inline constexpr int kLengthFieldSize = 4;
inline constexpr int kRowAlignment = 4;

inline constexpr uint8_t kKindMessage = 0;
inline constexpr uint8_t kKindFile = 1;

// Shared codec state, 0 at start.
// Set once the user has confirmed an abort; read by the encoder and decoder after each row.
extern bool gAbort;
// Groups visited in the current encode pass, passed over or written alike.
extern int32_t gBytePos;
// Group of the first stream byte, and of the last stream byte written so far.
extern int32_t gMsgStart;
extern int32_t gMsgEnd;

// The 54-byte header, kept as raw bytes and read through little-endian helpers.
struct BitmapHeader {
    uint8_t bytes[kHeaderSize] = {};

    bool hasSignature() const { return bytes[0] == 'B' && bytes[1] == 'M'; }
    int32_t width() const;
    int32_t height() const;
    int16_t bitsPerPixel() const;
    int32_t pixelDataOffset() const;
    int32_t infoSize() const;
    int16_t planes() const;
    int32_t compression() const;
    // True for a plain bitmap (see above): used as it is.
    bool isPlain() const;
};

// The header of the plain bitmap of width x height pixels (both above 0). Sizes that do not fit
// their 32-bit fields are left 0, as readers allow for uncompressed pictures.
BitmapHeader PlainBitmapHeader(int32_t width, int32_t height);

// Row geometry of a header, computed in 64 bits.
struct RowGeometry {
    int64_t dataBytes = 0;     // width * 3
    int64_t stride = 0;        // dataBytes rounded up to a multiple of 4
    int64_t groupsPerRow = 0;  // floor(width / 3)
    int64_t rows = 0;          // height, or 0 when height <= 0
    int64_t groups = 0;        // floor(width / 3) * height: the capacity in stream bytes
};
RowGeometry GeometryOf(const BitmapHeader& header);

// The most payload bytes that fit after `offset` groups (groups - offset - 4); 0 when none do.
int64_t PayloadCapacity(const RowGeometry& geometry, int64_t offset = 0);

// The four bytes of the length field, least significant first. value must be >= 0.
std::string LongToString(int32_t value);
// The number in a four-byte length field. A fourth byte of 128 or more does not fit: returns 0
// and, when overflow is given, puts there the message that says so ("StringToLong Error #6" with
// its description). field must hold four bytes.
int32_t StringToLong(const std::string& field, Message* overflow = nullptr);

// How a codec call ended.
enum class CodecStatus {
    Ok,       // the pass ran to its end
    Refused,  // the input cannot be used (not a bitmap, does not fit, bad offset, ...)
    Failed,   // reading or writing failed, or the picture is malformed
    Aborted,  // the user aborted the pass (gAbort): nothing was written or decoded
};

// Why a call did not end Ok, for a program that words it its own way.
enum class Problem {
    None,
    NotAPicture,       // not a bitmap (nor a picture that can be read)
    NegativeOffset,
    NoRoom,            // the stream does not fit after the offset; room is what would
    NotAFile,          // the destination is a folder, FIFO, device or socket
    OwnCarrier,        // the destination is the carrier itself
    LossyOutput,       // the destination names a lossy picture format
    NothingHidden,     // no length field fits after the offset, or none that can be read
    TooMuchAnnounced,  // the length field announces more than fits after the offset
    CutShort,          // the file ends before the data its length field announces
    WrongPassword,     // what a password must open does not open: wrong, or the picture changed
    Failed,            // reading or writing failed, or the picture is malformed: see failure
};

// What a codec call hands up. The encoder fills status and messages; the decoder also the kind
// and the payload when it is Ok. The codec shows nothing itself: messages holds what the user is
// to be told, in order (the refusal or the failure, with its classic wording and icon, and any
// note before it); the caller shows them. failure keeps the code and the reason of a Failed call.
struct CodecResult {
    CodecStatus status = CodecStatus::Failed;
    uint8_t kind = kKindMessage;  // the kind bit of the first stream group
    std::string payload;          // exactly as long as the length field says
    Messages messages;
    Failure failure;
    Problem problem = Problem::None;
    int64_t room = 0;  // NoRoom: the payload bytes that would fit after the offset (0 or less: none)
};

// The encoder's result in its classic form: 0 when the pass ran (to its end, or until an abort),
// 1 when refused, 2 when it failed.
int32_t ClassicEncodeResult(CodecStatus status);

// A Refused result for problem with its message.
CodecResult Refusal(Problem problem, const std::string& text, MsgIcon icon = MsgIcon::Information);
// A Failed result (Problem::Failed) for the encoder or the decoder: "Encoding Error #" or
// "Decoding Error #", the code, and the description.
CodecResult EncodingFailure(const Failure& failure);
CodecResult DecodingFailure(const Failure& failure);

// Reads the header of the carrier at path and checks what the encoder checks before it writes:
// a geometry within the 32-bit limits and a file that holds every row. capacity receives the
// payload bytes the encoder takes without an offset (0 when there is no room). Refused when it
// is not a bitmap; Failed, with the reason, when it cannot be used as a carrier.
CodecStatus CheckCarrier(const std::string& path, BitmapHeader& header, int64_t& capacity, Failure& failure);

// The encoder. source is the carrier, open at its first byte; the stream starts after `offset`
// groups, and offset is counted down as groups are passed over (the desktop program hands in
// gOffset itself). Once the input has passed its checks, destination is called for the file that
// the new picture goes in: empty, open for writing and reading back; its path() names it in
// messages. HidePayloadInto fills it and checks that it reads back as written; putting it in
// place is the caller's business. Sets gBytePos, gMsgStart and gMsgEnd; yields once per row and
// stops after the row in which gAbort was set.
//
// Refused when the carrier is not a bitmap, the payload does not fit after the offset or the
// offset is negative; Failed on any other failure (reading, writing, a malformed or cut-off
// carrier, a picture that does not read back as written). Aborted, silently, when gAbort was set.
using DestinationFn = std::function<Failure(BinaryFile*& file)>;
CodecResult HidePayloadInto(BinaryFile& source, const DestinationFn& destination, std::string_view payload,
                            uint8_t kind, int32_t& offset);

// Runs hide with a destination that is the new file for destinationPath, and puts that file in
// place only when hide returns Ok (commit: complete, and read back as written); on every other way
// out the destination stays as it was and nothing is left beside it. A note on what the replaced
// file could not keep goes last into the messages. For every way of writing a new picture.
using HideFn = std::function<CodecResult(const DestinationFn& destination)>;
CodecResult HideAt(const std::string& destinationPath, const HideFn& hide);

// HidePayloadInto with the new picture written at destinationPath as a plain bitmap: it replaces
// what is there only once it is complete and reads back as written; on every other way out the
// destination stays as it was and nothing is left beside it. When the new picture could not keep
// something of the file it replaced (its owner, its other hard links, ...), a message says so.
CodecResult HidePayloadAt(BinaryFile& source, const std::string& destinationPath, std::string_view payload,
                          uint8_t kind, int32_t& offset);

// Refuses, with its message, a destination that is not a file (a folder, FIFO, device) or that
// is the carrier itself; Ok when it may be written.
CodecResult RefuseDestination(const std::string& sourcePath, const std::string& destinationPath);

// The decoder, in the two steps between which a program may ask for the offset.
// CheckPicture reads the header of the picture open at its first byte: Refused when it is not a
// bitmap, Failed when it cannot be read.
CodecResult CheckPicture(BinaryFile& file, BitmapHeader& header);
// RevealPayloadFrom walks the picture that CheckPicture accepted (file just after the header) from
// group `offset`, counting offset down, and yields once per row it has finished.
//
// Ok: kind and payload, exactly as long as the length field says. Refused (a negative offset) or
// Failed: an offset that leaves no room for the length field, an announced length that does not
// fit after the offset, a file cut off before the announced bytes, a read error. Aborted,
// silently, when gAbort was set. Only Ok carries a kind and a payload.
CodecResult RevealPayloadFrom(BinaryFile& file, const BitmapHeader& header, int32_t& offset);

// The rows of a plain bitmap as the decoder walks them, one after the other from the first row the
// file holds (the bottom of the picture) up, for pictures that are not the bitmap file itself
// (the pixels of a PNG). Only the lowest bit of each byte is ever read.
class BitmapRows {
public:
    virtual ~BitmapRows() = default;
    // Puts the next row, all size bytes of it (the row's stride), into row. Fails with the
    // reason when it cannot be read, with InputPastEnd past the last row. A source that stops
    // because the user aborted (gAbort) returns no failure; the decoder then ends Aborted.
    virtual Failure nextRow(uint8_t* row, size_t size) = 0;
    // How many whole rows there are, or -1 when that cannot be told beforehand.
    virtual int64_t rowsPresent() const = 0;
    // What messages call the picture.
    virtual const std::string& name() const = 0;
};

// RevealPayloadFrom over rows handed out by a source; header is that of the plain bitmap the
// rows belong to. Results as RevealPayloadFrom's.
CodecResult RevealPayloadFromRows(BitmapRows& rows, const BitmapHeader& header, int32_t& offset);

// Reads count stream bytes back from the picture at path, starting at group firstGroup, and the
// kind bit of that first group: the reading the encoder checks what it wrote with. Reads only the
// rows that hold them and does not yield. Returns the failure when the picture cannot be read or
// does not reach that far.
Failure ReadStream(const std::string& path, int64_t firstGroup, int64_t count, std::string& bytes, uint8_t& kind);

}  // namespace mirel
