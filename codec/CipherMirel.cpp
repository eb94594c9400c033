#include "CipherMirel.h"

#include "BinaryFile.h"
#include "ErrorCode.h"
#include "NumberText.h"
#include "Paths.h"
#include "Settings.h"
#include "Ui.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

namespace mirel {

int16_t gAbort = 0;
int32_t gBytePos = 0;
int32_t gMsgStart = 0;
int32_t gMsgEnd = 0;

namespace {

constexpr int16_t kTrue = -1;
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr uint8_t kLowBit = 0x01;
constexpr uint8_t kHighBitsMask = 0xFE;
constexpr int kTopByteLimit = 128;  // a fourth length byte from here on does not fit 32 bits

const char* const kNotBitmapText = "Bitmap doesn't appear to be in Windows format.";
const char* const kNegativeOffsetText = "The offset must be 0 or more.";
const char* const kOwnCarrierText =
    "The new picture cannot be written over its own carrier.\r\n\r\nChoose another name for it.";

int32_t readLe32(const uint8_t* p)
{
    const uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                       (uint32_t(p[3]) << 24);
    return static_cast<int32_t>(v);
}

int16_t readLe16(const uint8_t* p)
{
    return static_cast<int16_t>(uint16_t(p[0]) | (uint16_t(p[1]) << 8));
}

void showFailure(const char* prefix, const Failure& failure)
{
    MsgBox(std::string(prefix) + std::to_string(static_cast<int>(failure.code)) + "\r\n\r\n" +
           failure.describe());
}

// Reads the header; a file shorter than the signature is simply not a bitmap.
enum class HeaderRead { Ok, NotBitmap, Failed };

HeaderRead readHeader(BinaryFile& file, BitmapHeader& header, Failure& failure)
{
    size_t got = 0;
    failure = file.readSome(header.bytes, kHeaderSize, got);
    if (failure)
        return HeaderRead::Failed;
    if (got < static_cast<size_t>(kSignatureSize) || !header.hasSignature())
        return HeaderRead::NotBitmap;
    if (got < static_cast<size_t>(kHeaderSize)) {
        failure = {ErrorCode::InputPastEnd, file.path() + ": the file ends inside the bitmap header"};
        return HeaderRead::Failed;
    }
    return HeaderRead::Ok;
}

// The geometry must fit the 32-bit values that stored pictures and the shared state use.
Failure checkGeometry(const BitmapHeader& header, const RowGeometry& geometry)
{
    if (header.width() < 0)
        return {ErrorCode::InvalidArgument,
                "the picture's width is negative (" + std::to_string(header.width()) + ")"};
    if (geometry.stride > kInt32Max)
        return {ErrorCode::Overflow,
                "a row of " + std::to_string(header.width()) + " pixels is too long"};
    if (geometry.groups > kInt32Max || geometry.groups < kInt32Min)
        return {ErrorCode::Overflow, "the picture has too many pixels"};
    return {};
}

// Makes the row buffer. Checks first that the file holds at least one whole row, so that a
// header announcing absurd rows in a small file fails as a short file instead of asking for
// gigabytes of memory.
Failure makeRowBuffer(const BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row)
{
    if (geometry.rows <= 0)
        return {};
    const int64_t length = file.length();
    if (length >= 0 && length - kHeaderSize < geometry.stride)
        return {ErrorCode::InputPastEnd, file.path() + ": the file ends before its first row"};
    try {
        row.assign(static_cast<size_t>(geometry.stride), 0);
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, "no room for a row of " + std::to_string(geometry.stride) +
                                            " bytes"};
    }
    return {};
}

// Puts stream byte b into the group at g; the first stream group also takes the kind.
inline void putByte(uint8_t* g, uint8_t b)
{
    for (int k = 0; k < kBitsPerGroup; ++k)
        g[k] = static_cast<uint8_t>((g[k] & kHighBitsMask) | ((b >> k) & kLowBit));
}

inline uint8_t takeByte(const uint8_t* g)
{
    uint8_t b = 0;
    for (int k = 0; k < kBitsPerGroup; ++k)
        b = static_cast<uint8_t>(b | ((g[k] & kLowBit) << k));
    return b;
}

// The encoder's pass over the rows, after the destination holds the header. Fills the stream
// into the groups from `offset` on.
Failure encodeRows(BinaryFile& source, BinaryFile& destination, const RowGeometry& geometry,
                   const std::string& lengthField, std::string_view payload, uint8_t kind,
                   int32_t& offset)
{
    std::vector<uint8_t> row;
    if (Failure f = makeRowBuffer(source, geometry, row))
        return f;

    const int64_t streamLength = kLengthFieldSize + static_cast<int64_t>(payload.size());
    const int64_t groupsPerRow = geometry.groupsPerRow;
    int64_t i = 1;  // next stream byte, counted from 1
    auto streamByte = [&](int64_t n) -> uint8_t {
        return static_cast<uint8_t>(n <= kLengthFieldSize ? lengthField[n - 1]
                                                          : payload[n - kLengthFieldSize - 1]);
    };

    for (int64_t r = 0; r < geometry.rows; ++r) {
        if (Failure f = source.readExact(row.data(), row.size()))
            return f;
        if (i > streamLength) {
            gBytePos += static_cast<int32_t>(groupsPerRow);  // the rest is copied unchanged
        } else if (offset >= groupsPerRow) {
            offset -= static_cast<int32_t>(groupsPerRow);
            gBytePos += static_cast<int32_t>(groupsPerRow);
        } else {
            for (int64_t g = 0; g < groupsPerRow; ++g) {
                if (i > streamLength || offset > 0) {
                    if (offset > 0)
                        --offset;
                } else {
                    uint8_t* group = row.data() + g * kGroupBytes;
                    if (i == 1)
                        gMsgStart = gBytePos;
                    gMsgEnd = gBytePos;
                    putByte(group, streamByte(i));
                    if (i == 1)
                        group[kKindByte] =
                            static_cast<uint8_t>((group[kKindByte] & kHighBitsMask) | (kind & kLowBit));
                    ++i;
                }
                ++gBytePos;
            }
        }
        if (Failure f = destination.write(row.data(), row.size()))
            return f;
        Yield();
        if (gAbort == kTrue)
            break;
    }
    return {};
}

}  // namespace

int32_t BitmapHeader::width() const
{
    return readLe32(bytes + kWidthOffset);
}

int32_t BitmapHeader::height() const
{
    return readLe32(bytes + kHeightOffset);
}

int16_t BitmapHeader::bitsPerPixel() const
{
    return readLe16(bytes + kBitsPerPixelOffset);
}

int32_t BitmapHeader::pixelDataOffset() const
{
    return readLe32(bytes + kPixelDataOffsetField);
}

RowGeometry GeometryOf(const BitmapHeader& header)
{
    RowGeometry g;
    const int64_t width = header.width();
    const int64_t height = header.height();
    g.dataBytes = width * kBytesPerPixel;
    g.stride = g.dataBytes < 0 ? 0 : (g.dataBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    g.groupsPerRow = width < 0 ? 0 : width / kBytesPerPixel;
    g.rows = height > 0 ? height : 0;
    // Negative heights included: the figure the capacity message shows. (A negative width is
    // refused before the groups count.)
    g.groups = g.groupsPerRow * height;
    return g;
}

std::string LongToString(const int32_t& value)
{
    const auto v = static_cast<uint32_t>(value);
    std::string field(kLengthFieldSize, '\0');
    for (int k = 0; k < kLengthFieldSize; ++k)
        field[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return field;
}

int32_t StringToLong(const std::string& field)
{
    const auto byte = [&](int k) { return static_cast<uint8_t>(field[k]); };
    if (byte(3) >= kTopByteLimit) {
        showFailure("StringToLong Error #", {ErrorCode::Overflow, {}});
        return 0;
    }
    return static_cast<int32_t>(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (uint32_t(byte(3)) << 24));
}

int32_t EncodePicture(const std::string& sourcePath, const std::string& destinationPath,
                      std::string_view payload, uint8_t kind, int32_t& offset)
{
    constexpr const char* kPrefix = "Encoding Error #";
    BinaryFile source;
    if (Failure f = BinaryFile::openForReading(sourcePath, source)) {
        showFailure(kPrefix, f);
        return 2;
    }
    if (payload.size() > static_cast<size_t>(kInt32Max - kLengthFieldSize)) {
        showFailure(kPrefix, {ErrorCode::Overflow, "the payload is larger than 2 GiB"});
        return 2;
    }
    const auto payloadLength = static_cast<int32_t>(payload.size());
    const std::string lengthField = LongToString(payloadLength);
    const int64_t streamLength = int64_t(payloadLength) + kLengthFieldSize;

    BitmapHeader header;
    Failure failure;
    switch (readHeader(source, header, failure)) {
    case HeaderRead::NotBitmap:
        MsgBox(kNotBitmapText, MsgIcon::Information);
        return 1;
    case HeaderRead::Failed:
        showFailure(kPrefix, failure);
        return 2;
    case HeaderRead::Ok:
        break;
    }
    if (offset < 0) {
        MsgBox(kNegativeOffsetText, MsgIcon::Information);
        return 1;
    }
    if (SameFile(sourcePath, destinationPath)) {
        MsgBox(kOwnCarrierText, MsgIcon::Information);
        return 1;
    }

    BinaryFile::remove(destinationPath);
    BinaryFile destination;
    if (Failure f = BinaryFile::createForWriting(destinationPath, destination)) {
        showFailure(kPrefix, f);
        return 2;
    }
    if (Failure f = destination.write(header.bytes, kHeaderSize)) {
        showFailure(kPrefix, f);
        return 2;
    }

    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = checkGeometry(header, geometry)) {
        showFailure(kPrefix, f);
        return 2;
    }
    // The stream must fit between the offset and the last group.
    if (int64_t(offset) + streamLength > geometry.groups) {
        const int64_t most = geometry.groups - offset - kLengthFieldSize;
        if (Failure f = destination.close()) {
            showFailure(kPrefix, f);
            return 2;
        }
        MsgBox("Due to size of picture, message cannot exceed " + FormatNumber(most) + " bytes");
        return 1;
    }

    if (Failure f = encodeRows(source, destination, geometry, lengthField, payload, kind, offset)) {
        showFailure(kPrefix, f);
        return 2;
    }
    if (Failure f = destination.close()) {
        showFailure(kPrefix, f);
        return 2;
    }
    return 0;
}

Failure ReadStream(const std::string& path, int64_t firstGroup, int64_t count, std::string& bytes, uint8_t& kind)
{
    bytes.clear();
    kind = 0;
    BinaryFile file;
    if (Failure f = BinaryFile::openExisting(path, file))
        return f;
    BitmapHeader header;
    if (Failure f = file.readExact(header.bytes, kHeaderSize))
        return f;
    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = checkGeometry(header, geometry))
        return f;
    if (firstGroup < 0 || count < 0 || geometry.groupsPerRow <= 0 || firstGroup + count > geometry.groups)
        return {ErrorCode::SubscriptOutOfRange, path + ": the picture has no groups " + std::to_string(firstGroup) +
                                                    " to " + std::to_string(firstGroup + count - 1)};
    if (count == 0)
        return {};
    std::vector<uint8_t> row;
    if (Failure f = makeRowBuffer(file, geometry, row))
        return f;
    const int64_t firstRow = firstGroup / geometry.groupsPerRow;
    if (Failure f = file.seek(kHeaderSize + firstRow * geometry.stride))
        return f;
    bytes.reserve(static_cast<size_t>(count));
    int64_t group = firstGroup;
    for (int64_t r = firstRow; group < firstGroup + count; ++r) {
        if (Failure f = file.readExact(row.data(), row.size()))
            return f;
        for (int64_t g = group - r * geometry.groupsPerRow; g < geometry.groupsPerRow && group < firstGroup + count;
             ++g, ++group) {
            const uint8_t* at = row.data() + g * kGroupBytes;
            if (group == firstGroup)
                kind = at[kKindByte] & kLowBit;
            bytes += static_cast<char>(takeByte(at));
        }
    }
    return {};
}

std::string DecodePicture(const std::string& sourcePath, CodecStatus* status)
{
    constexpr const char* kPrefix = "Decoding Error #";
    CodecStatus ignored;
    CodecStatus& outcome = status ? *status : ignored;
    outcome = CodecStatus::Failed;
    auto fail = [&](const Failure& f) {
        showFailure(kPrefix, f);
        return std::string();
    };

    BinaryFile file;
    if (Failure f = BinaryFile::openForReading(sourcePath, file))
        return fail(f);
    BitmapHeader header;
    Failure failure;
    switch (readHeader(file, header, failure)) {
    case HeaderRead::NotBitmap:
        outcome = CodecStatus::Refused;
        MsgBox(kNotBitmapText, MsgIcon::Information);
        return {};
    case HeaderRead::Failed:
        return fail(failure);
    case HeaderRead::Ok:
        break;
    }

    Ui().askPasswordAndOffset();
    if (gOffset < 0) {
        outcome = CodecStatus::Refused;
        MsgBox(kNegativeOffsetText, MsgIcon::Information);
        return {};
    }

    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = checkGeometry(header, geometry))
        return fail(f);
    std::vector<uint8_t> row;
    if (Failure f = makeRowBuffer(file, geometry, row))
        return fail(f);

    // A picture less than three pixels wide has no whole group: its rows offer one group that
    // runs past the row's data, which fails once a stream byte is due.
    const bool narrow = geometry.dataBytes < kGroupBytes;
    const int64_t visitsPerRow = narrow ? 1 : geometry.groupsPerRow;
    // Announced lengths beyond what the picture can hold come from pictures without a stream.
    const int64_t mostPayload = geometry.groups - kLengthFieldSize;
    // Rows the file really holds (fewer than the header says when it was cut off).
    const int64_t fileLength = file.length();
    const int64_t rowsInFile = geometry.stride > 0 && fileLength >= kHeaderSize
                                   ? std::min(geometry.rows, (fileLength - kHeaderSize) / geometry.stride)
                                   : geometry.rows;

    int64_t expected = kLengthFieldSize + 1;
    int64_t i = 1;
    std::string lengthField;
    std::string payload;
    uint8_t kind = 0;
    bool anyTaken = false;
    bool complete = false;

    for (int64_t r = 0; r < geometry.rows && !complete; ++r) {
        if (Failure f = file.readExact(row.data(), row.size()))
            return fail(f);
        if (gOffset >= visitsPerRow) {
            gOffset -= static_cast<int32_t>(visitsPerRow);
        } else {
            for (int64_t g = 0; g < visitsPerRow; ++g) {
                if (gOffset > 0) {
                    --gOffset;
                    continue;
                }
                if (i > expected) {
                    complete = true;
                    break;
                }
                if (narrow)
                    return fail({ErrorCode::SubscriptOutOfRange,
                                 "the picture is less than 3 pixels wide"});
                const uint8_t* group = row.data() + g * kGroupBytes;
                const uint8_t b = takeByte(group);
                if (!anyTaken) {
                    kind = group[kKindByte] & kLowBit;
                    anyTaken = true;
                }
                if (lengthField.size() == static_cast<size_t>(kLengthFieldSize)) {
                    payload[static_cast<size_t>(i - 1)] = static_cast<char>(b);
                    ++i;
                } else {
                    lengthField += static_cast<char>(b);
                    if (lengthField.size() == static_cast<size_t>(kLengthFieldSize)) {
                        expected = StringToLong(lengthField);
                        if (expected > mostPayload)
                            return fail({ErrorCode::OutOfMemory,
                                         "the picture announces " + FormatNumber(expected) +
                                             " bytes but can hold at most " +
                                             FormatNumber(mostPayload < 0 ? 0 : mostPayload)});
                        // A cut-off file would fail at its end anyway; fail now instead of
                        // making room for data that is not there.
                        const int64_t lastRow = (r * visitsPerRow + g + 1 + expected) / visitsPerRow;
                        if (rowsInFile < geometry.rows && lastRow >= rowsInFile)
                            return fail({ErrorCode::InputPastEnd,
                                         file.path() + ": the file ends before the " + FormatNumber(expected) +
                                             " bytes it announces"});
                        try {
                            payload.assign(static_cast<size_t>(expected), ' ');
                        } catch (const std::bad_alloc&) {
                            return fail({ErrorCode::OutOfMemory, {}});
                        }
                    }
                }
            }
        }
        if (complete)
            break;
        Yield();
        if (gAbort == kTrue)
            break;
    }

    outcome = CodecStatus::Ok;
    std::string result(1, static_cast<char>(kind));
    if (lengthField.size() == static_cast<size_t>(kLengthFieldSize))
        result += payload;
    return result;
}

}  // namespace mirel
