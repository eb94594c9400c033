#include "CipherMirel.h"

#include "CodecRows.h"
#include "ErrorCode.h"

#include <algorithm>
#include <limits>
#include <new>

namespace mirel {

bool gAbort = false;
int32_t gBytePos = 0;
int32_t gMsgStart = 0;
int32_t gMsgEnd = 0;

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int kTopByteLimit = 128;  // a fourth length byte from here on does not fit 32 bits

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

// The classic failure text: the operation's prefix, the code, and the description.
Message failureMessage(const char* prefix, const Failure& failure)
{
    return {std::string(prefix) + std::to_string(static_cast<int>(failure.code)) + "\r\n\r\n" + failure.describe(),
            MsgIcon::None};
}

CodecResult failed(const char* prefix, const Failure& failure)
{
    CodecResult result;
    result.status = CodecStatus::Failed;
    result.messages.push_back(failureMessage(prefix, failure));
    result.failure = failure;
    result.problem = Problem::Failed;
    return result;
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

int32_t BitmapHeader::infoSize() const
{
    return readLe32(bytes + kInfoSizeOffset);
}

int16_t BitmapHeader::planes() const
{
    return readLe16(bytes + kPlanesOffset);
}

int32_t BitmapHeader::compression() const
{
    return readLe32(bytes + kCompressionOffset);
}

bool BitmapHeader::isPlain() const
{
    return hasSignature() && infoSize() == kInfoSize && pixelDataOffset() == kHeaderSize && planes() == 1 &&
           bitsPerPixel() == 8 * kBytesPerPixel && compression() == 0 && width() > 0 && height() > 0;
}

BitmapHeader PlainBitmapHeader(int32_t width, int32_t height)
{
    constexpr int32_t kPixelsPerMetre = 2835;  // 72 dots per inch
    BitmapHeader header;
    const auto put = [&header](int at, uint32_t value, int size) {
        for (int k = 0; k < size; ++k)
            header.bytes[at + k] = static_cast<uint8_t>(value >> (8 * k));
    };
    header.bytes[0] = 'B';
    header.bytes[1] = 'M';
    put(kInfoSizeOffset, kInfoSize, 4);
    put(kPixelDataOffsetField, kHeaderSize, 4);
    put(kWidthOffset, static_cast<uint32_t>(width), 4);
    put(kHeightOffset, static_cast<uint32_t>(height), 4);
    put(kPlanesOffset, 1, 2);
    put(kBitsPerPixelOffset, 8 * kBytesPerPixel, 2);
    put(kResolutionOffset, kPixelsPerMetre, 4);
    put(kResolutionOffset + 4, kPixelsPerMetre, 4);
    const int64_t image = GeometryOf(header).stride * height;
    if (image <= std::numeric_limits<uint32_t>::max() - kHeaderSize) {
        put(kImageSizeOffset, static_cast<uint32_t>(image), 4);
        put(kFileSizeOffset, static_cast<uint32_t>(image + kHeaderSize), 4);
    }
    return header;
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

std::string LongToString(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    std::string field(kLengthFieldSize, '\0');
    for (int k = 0; k < kLengthFieldSize; ++k)
        field[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return field;
}

int32_t StringToLong(const std::string& field, Message* overflow)
{
    const auto byte = [&](int k) { return static_cast<uint8_t>(field[k]); };
    if (byte(3) >= kTopByteLimit) {
        if (overflow)
            *overflow = failureMessage("StringToLong Error #", {ErrorCode::Overflow, {}});
        return 0;
    }
    return static_cast<int32_t>(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (uint32_t(byte(3)) << 24));
}

int32_t ClassicEncodeResult(CodecStatus status)
{
    switch (status) {
    case CodecStatus::Ok:
    case CodecStatus::Aborted: return 0;
    case CodecStatus::Refused: return 1;
    case CodecStatus::Failed: break;
    }
    return 2;
}

CodecResult Refusal(Problem problem, const std::string& text, MsgIcon icon)
{
    CodecResult result;
    result.status = CodecStatus::Refused;
    result.problem = problem;
    result.messages.push_back({text, icon});
    return result;
}

CodecResult EncodingFailure(const Failure& failure)
{
    return failed("Encoding Error #", failure);
}

CodecResult DecodingFailure(const Failure& failure)
{
    return failed("Decoding Error #", failure);
}

int64_t PayloadCapacity(const RowGeometry& geometry, int64_t offset)
{
    return std::max<int64_t>(geometry.groups - offset - kLengthFieldSize, 0);
}

CodecStatus CheckCarrier(const std::string& path, BitmapHeader& header, int64_t& capacity, Failure& failure)
{
    capacity = 0;
    BinaryFile file;
    failure = BinaryFile::openExisting(path, file);
    if (failure)
        return CodecStatus::Failed;
    if (const CodecStatus status = rows::ReadHeader(file, header, failure); status != CodecStatus::Ok)
        return status;
    const RowGeometry geometry = GeometryOf(header);
    failure = rows::CheckGeometry(header, geometry);
    if (!failure)
        failure = rows::CheckRowsPresent(file, geometry);
    if (failure)
        return CodecStatus::Failed;
    capacity = PayloadCapacity(geometry);
    return CodecStatus::Ok;
}

Failure ReadStream(const std::string& path, int64_t firstGroup, int64_t count, std::string& bytes, uint8_t& kind)
{
    bytes.clear();
    kind = kKindMessage;
    BinaryFile file;
    if (Failure f = BinaryFile::openExisting(path, file))
        return f;
    BitmapHeader header;
    if (Failure f = file.readExact(header.bytes, kHeaderSize))
        return f;
    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = rows::CheckGeometry(header, geometry))
        return f;
    return rows::ReadStreamFrom(file, geometry, firstGroup, count, bytes, kind);
}

namespace rows {

CodecStatus ReadHeader(BinaryFile& file, BitmapHeader& header, Failure& failure)
{
    size_t got = 0;
    failure = file.readSome(header.bytes, kHeaderSize, got);
    if (failure)
        return CodecStatus::Failed;
    if (got < static_cast<size_t>(kSignatureSize) || !header.hasSignature())
        return CodecStatus::Refused;
    if (got < static_cast<size_t>(kHeaderSize)) {
        failure = {ErrorCode::InputPastEnd, file.path() + ": the file ends inside the bitmap header"};
        return CodecStatus::Failed;
    }
    return CodecStatus::Ok;
}

Failure CheckGeometry(const BitmapHeader& header, const RowGeometry& geometry)
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

Failure MakeRowBuffer(const BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row,
                      int64_t batchRows)
{
    const int64_t length = file.length();
    int64_t rowsPresent = -1;
    if (length >= 0 && geometry.stride > 0)
        rowsPresent = length < kHeaderSize ? 0 : (length - kHeaderSize) / geometry.stride;
    return MakeRowBuffer(rowsPresent, file.path(), geometry, row, batchRows);
}

Failure MakeRowBuffer(int64_t rowsPresent, const std::string& name, const RowGeometry& geometry,
                      std::vector<uint8_t>& row, int64_t batchRows)
{
    if (geometry.rows <= 0)
        return {};
    if (rowsPresent == 0)
        return {ErrorCode::InputPastEnd, name + ": the file ends before its first row"};
    try {
        row.assign(static_cast<size_t>(geometry.stride * std::max<int64_t>(1, batchRows)), 0);
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, "no room for a row of " + std::to_string(geometry.stride) +
                                            " bytes"};
    }
    return {};
}

Failure CheckRowsPresent(const BinaryFile& file, const RowGeometry& geometry)
{
    const int64_t length = file.length();
    if (length >= 0 && geometry.stride > 0 && (length - kHeaderSize) / geometry.stride < geometry.rows)
        return {ErrorCode::InputPastEnd, file.path() + ": the file ends before its last row"};
    return {};
}

Failure ReadStreamFrom(BinaryFile& file, const RowGeometry& geometry, int64_t firstGroup, int64_t count,
                       std::string& bytes, uint8_t& kind)
{
    bytes.clear();
    kind = kKindMessage;
    if (firstGroup < 0 || count < 0 || geometry.groupsPerRow <= 0 || firstGroup + count > geometry.groups)
        return {ErrorCode::SubscriptOutOfRange, file.path() + ": the picture has no groups " +
                                                    std::to_string(firstGroup) + " to " +
                                                    std::to_string(firstGroup + count - 1)};
    if (count == 0)
        return {};
    const int64_t firstRow = firstGroup / geometry.groupsPerRow;
    const int64_t endRow = (firstGroup + count - 1) / geometry.groupsPerRow + 1;
    const int64_t batch = BatchRows(geometry, endRow - firstRow);
    std::vector<uint8_t> rows;
    if (Failure f = MakeRowBuffer(file, geometry, rows, batch))
        return f;
    if (Failure f = file.seek(kHeaderSize + firstRow * geometry.stride))
        return f;
    bytes.resize(static_cast<size_t>(count));
    char* out = bytes.data();
    int64_t group = firstGroup;
    for (int64_t r = firstRow; r < endRow; r += batch) {
        const int64_t n = std::min(batch, endRow - r);
        if (Failure f = file.readExact(rows.data(), static_cast<size_t>(n * geometry.stride)))
            return f;
        for (int64_t k = 0; k < n; ++k) {
            const int64_t rowStart = (r + k) * geometry.groupsPerRow;
            const int64_t to = std::min(firstGroup + count, rowStart + geometry.groupsPerRow);
            const uint8_t* at = rows.data() + k * geometry.stride + (group - rowStart) * kGroupBytes;
            if (group == firstGroup)
                kind = at[kKindByte] & kLowBit;
            for (; group < to; ++group, at += kGroupBytes)
                *out++ = static_cast<char>(TakeByte(at));
        }
    }
    return {};
}

}  // namespace rows

}  // namespace mirel
