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

bool gAbort = false;
int32_t gBytePos = 0;
int32_t gMsgStart = 0;
int32_t gMsgEnd = 0;

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr uint8_t kLowBit = 0x01;
constexpr uint8_t kHighBitsMask = 0xFE;
constexpr int kTopByteLimit = 128;  // a fourth length byte from here on does not fit 32 bits

const char* const kEncodePrefix = "Encoding Error #";
const char* const kDecodePrefix = "Decoding Error #";
const char* const kNotBitmapText = "Bitmap doesn't appear to be in Windows format.";
const char* const kNegativeOffsetText = "The offset must be 0 or more.";
const char* const kOwnCarrierText =
    "The new picture cannot be written over its own carrier.\r\n\r\nChoose another name for it.";
const char* const kUnchangedText = "the new picture does not hold the data just written";

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

// Reads the header from the start of an open file. A file shorter than the signature is simply
// not a bitmap: Refused.
CodecStatus readHeader(BinaryFile& file, BitmapHeader& header, Failure& failure)
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

// Puts stream byte b into the group at g.
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

// The hidden stream, the length field followed by the payload, read by position without a copy
// of the payload.
class Stream {
public:
    explicit Stream(std::string_view payload)
        : m_lengthField(LongToString(static_cast<int32_t>(payload.size()))), m_payload(payload)
    {
    }

    int64_t size() const { return kLengthFieldSize + static_cast<int64_t>(m_payload.size()); }
    uint8_t operator[](int64_t n) const
    {
        return static_cast<uint8_t>(n < kLengthFieldSize ? m_lengthField[static_cast<size_t>(n)]
                                                         : m_payload[static_cast<size_t>(n - kLengthFieldSize)]);
    }

private:
    std::string m_lengthField;
    std::string_view m_payload;
};

// The encoder's pass over the rows, after the destination holds the header: stream byte n goes
// into group offset + n. The caller has made sure that the whole stream fits, so that the
// picture has whole groups. Only the rows that hold the stream pass through the row buffer, one
// at a time with a yield after each; the rows before and after them are copied as they are, by
// the kernel where it can, in slices of a few megabytes with a yield after each. Both stop
// after the row or slice in which gAbort was set. The shared counters end as a row-by-row pass
// leaves them.
class RowEncoder {
public:
    RowEncoder(BinaryFile& source, BinaryFile& destination, const RowGeometry& geometry, const Stream& stream,
               uint8_t kind, int32_t& offset)
        : m_source(source), m_destination(destination), m_geometry(geometry), m_stream(stream), m_kind(kind),
          m_offset(offset), m_first(offset), m_end(offset + stream.size())
    {
    }

    Failure run()
    {
        const int64_t perRow = m_geometry.groupsPerRow;
        const int64_t firstStreamRow = m_first / perRow;
        const int64_t lastStreamRow = (m_end - 1) / perRow;
        if (Failure f = copyRows(0, firstStreamRow); f || gAbort)
            return f;
        if (Failure f = makeRowBuffer(m_source, m_geometry, m_row))
            return f;
        for (int64_t r = firstStreamRow; r <= lastStreamRow; ++r) {
            if (Failure f = encodeRow(r); f || gAbort)
                return f;
        }
        return copyRows(lastStreamRow + 1, m_geometry.rows);
    }

private:
    static constexpr int64_t kSliceBytes = int64_t(8) << 20;

    // Copies rows [from, to) unchanged.
    Failure copyRows(int64_t from, int64_t to)
    {
        const int64_t sliceRows = std::max<int64_t>(1, kSliceBytes / m_geometry.stride);
        for (int64_t r = from; r < to; r += sliceRows) {
            const int64_t rows = std::min(sliceRows, to - r);
            if (Failure f = m_source.copyTo(m_destination, rows * m_geometry.stride))
                return f;
            countRows(r, rows);
            Yield();
            if (gAbort)
                break;
        }
        return {};
    }

    // Reads row r, puts the stream bytes that fall in it into its groups and writes it.
    Failure encodeRow(int64_t r)
    {
        if (Failure f = m_source.readExact(m_row.data(), m_row.size()))
            return f;
        const int64_t rowStart = r * m_geometry.groupsPerRow;
        const int64_t rowEnd = rowStart + m_geometry.groupsPerRow;
        for (int64_t g = std::max(m_first, rowStart); g < std::min(m_end, rowEnd); ++g) {
            uint8_t* group = m_row.data() + (g - rowStart) * kGroupBytes;
            putByte(group, m_stream[g - m_first]);
            if (g == m_first) {
                group[kKindByte] = static_cast<uint8_t>((group[kKindByte] & kHighBitsMask) | (m_kind & kLowBit));
                gMsgStart = static_cast<int32_t>(g);
            }
            gMsgEnd = static_cast<int32_t>(g);
        }
        countRows(r, 1);
        if (Failure f = m_destination.write(m_row.data(), m_row.size()))
            return f;
        Yield();
        return {};
    }

    // The counters after rows [r, r + rows): their groups visited, those before the stream passed
    // over.
    void countRows(int64_t r, int64_t rows)
    {
        const int64_t groups = rows * m_geometry.groupsPerRow;
        m_offset -= static_cast<int32_t>(std::clamp<int64_t>(m_first - r * m_geometry.groupsPerRow, 0, groups));
        gBytePos += static_cast<int32_t>(groups);
    }

    BinaryFile& m_source;
    BinaryFile& m_destination;
    const RowGeometry& m_geometry;
    const Stream& m_stream;
    const uint8_t m_kind;
    int32_t& m_offset;
    const int64_t m_first;  // the group of the first stream byte
    const int64_t m_end;    // one past the group of the last
    std::vector<uint8_t> m_row;
};

// Hands out the stream bytes of a picture one group after the other, as the decoder walks: it
// passes over gOffset groups first, counting gOffset down, reads a row when it needs one, and
// after each row it has finished it yields and stops when the user has aborted. The caller has
// made sure that the picture has whole groups.
class GroupReader {
public:
    GroupReader(BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row)
        : m_file(file), m_geometry(geometry), m_row(row), m_next(geometry.groupsPerRow)
    {
    }

    // The next stream byte. Fails with InputPastEnd when the rows run out; aborted() tells when
    // it stopped because the user aborted, with nothing in byte.
    Failure next(uint8_t& byte)
    {
        const int64_t perRow = m_geometry.groupsPerRow;
        while (m_next >= perRow || gOffset > 0) {
            if (m_next >= perRow) {
                if (Failure f = nextRow(); f || m_aborted)
                    return f;
            } else {
                const int64_t passed = std::min<int64_t>(gOffset, perRow - m_next);
                m_next += passed;
                gOffset -= static_cast<int32_t>(passed);
            }
        }
        const uint8_t* group = m_row.data() + m_next * kGroupBytes;
        if (m_lastGroup < 0)
            m_kind = group[kKindByte] & kLowBit;
        byte = takeByte(group);
        m_lastGroup = m_rowIndex * perRow + m_next;
        ++m_next;
        return {};
    }

    bool aborted() const { return m_aborted; }
    uint8_t kind() const { return m_kind; }
    // The number of the group the last byte came from.
    int64_t lastGroup() const { return m_lastGroup; }

private:
    // Moves to the next row: yields after the one finished, then reads the next one.
    Failure nextRow()
    {
        if (m_rowIndex >= 0) {
            Yield();
            if (gAbort) {
                m_aborted = true;
                return {};
            }
        }
        if (m_rowIndex + 1 >= m_geometry.rows)
            return {ErrorCode::InputPastEnd, m_file.path() + ": the rows end before the hidden data"};
        if (Failure f = m_file.readExact(m_row.data(), m_row.size()))
            return f;
        ++m_rowIndex;
        m_next = 0;
        return {};
    }

    BinaryFile& m_file;
    const RowGeometry& m_geometry;
    std::vector<uint8_t>& m_row;
    int64_t m_next;  // the next group of the row in the buffer
    int64_t m_rowIndex = -1;
    int64_t m_lastGroup = -1;
    uint8_t m_kind = kKindMessage;
    bool m_aborted = false;
};

// The decoder's walk once the picture is open and the offset known: the length field, then the
// payload it announces. Every announced byte must lie in the picture after the offset, and in
// the file; anything else comes from a picture without a stream, a wrong offset or a cut file.
Failure decodeStream(BinaryFile& file, const RowGeometry& geometry, CodecResult& result)
{
    if (gOffset + int64_t(kLengthFieldSize) > geometry.groups) {
        if (geometry.groupsPerRow == 0)
            return {ErrorCode::SubscriptOutOfRange, "the picture is less than 3 pixels wide"};
        return {ErrorCode::SubscriptOutOfRange,
                "the picture has " + FormatNumber(geometry.groups) + " groups; an offset of " +
                    FormatNumber(gOffset) + " leaves no room for the length of hidden data"};
    }
    const int64_t mostPayload = PayloadCapacity(geometry, gOffset);

    std::vector<uint8_t> row;
    if (Failure f = makeRowBuffer(file, geometry, row))
        return f;
    GroupReader reader(file, geometry, row);
    uint8_t byte = 0;
    std::string lengthField;
    while (lengthField.size() < static_cast<size_t>(kLengthFieldSize)) {
        if (Failure f = reader.next(byte); f || reader.aborted())
            return f;
        lengthField += static_cast<char>(byte);
    }
    result.kind = reader.kind();

    const int64_t length = StringToLong(lengthField);
    if (length > mostPayload)
        return {ErrorCode::OutOfMemory, "the picture announces " + FormatNumber(length) +
                                            " bytes but can hold at most " + FormatNumber(mostPayload) +
                                            " after the offset"};
    // A cut-off file fails now instead of after making room for data that is not there.
    const int64_t fileLength = file.length();
    const int64_t rowsInFile = fileLength >= kHeaderSize ? (fileLength - kHeaderSize) / geometry.stride : 0;
    if (fileLength >= 0 && (reader.lastGroup() + length) / geometry.groupsPerRow >= rowsInFile)
        return {ErrorCode::InputPastEnd,
                file.path() + ": the file ends before the " + FormatNumber(length) + " bytes it announces"};
    try {
        result.payload.assign(static_cast<size_t>(length), '\0');
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, {}};
    }
    for (int64_t i = 0; i < length; ++i) {
        if (Failure f = reader.next(byte); f || reader.aborted())
            return f;
        result.payload[static_cast<size_t>(i)] = static_cast<char>(byte);
    }
    return {};
}

// Reads count stream bytes from the groups that start at firstGroup, and the kind bit of the
// first, reading only the rows that hold them.
Failure readStream(BinaryFile& file, const RowGeometry& geometry, int64_t firstGroup, int64_t count,
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

// The file must hold every row its header promises.
Failure checkRowsPresent(const BinaryFile& file, const RowGeometry& geometry)
{
    const int64_t length = file.length();
    if (length >= 0 && geometry.stride > 0 && (length - kHeaderSize) / geometry.stride < geometry.rows)
        return {ErrorCode::InputPastEnd, file.path() + ": the file ends before its last row"};
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

bool BitmapHeader::isPlain() const
{
    return hasSignature() && readLe32(bytes + kInfoSizeOffset) == kInfoSize && pixelDataOffset() == kHeaderSize &&
           readLe16(bytes + kPlanesOffset) == 1 && bitsPerPixel() == 8 * kBytesPerPixel &&
           readLe32(bytes + kCompressionOffset) == 0 && width() > 0 && height() > 0;
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

int32_t StringToLong(const std::string& field)
{
    const auto byte = [&](int k) { return static_cast<uint8_t>(field[k]); };
    if (byte(3) >= kTopByteLimit) {
        showFailure("StringToLong Error #", {ErrorCode::Overflow, {}});
        return 0;
    }
    return static_cast<int32_t>(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (uint32_t(byte(3)) << 24));
}

void ShowEncodingFailure(const Failure& failure)
{
    showFailure(kEncodePrefix, failure);
}

void ShowDecodingFailure(const Failure& failure)
{
    showFailure(kDecodePrefix, failure);
}

int64_t PayloadCapacity(const RowGeometry& geometry, int64_t offset)
{
    return std::max<int64_t>(geometry.groups - offset - kLengthFieldSize, 0);
}

CodecStatus ReadPictureHeader(const std::string& path, BitmapHeader& header, Failure& failure)
{
    BinaryFile file;
    failure = BinaryFile::openExisting(path, file);
    if (failure)
        return CodecStatus::Failed;
    return readHeader(file, header, failure);
}

CodecStatus CheckCarrier(const std::string& path, BitmapHeader& header, int64_t& capacity, Failure& failure)
{
    capacity = 0;
    BinaryFile file;
    failure = BinaryFile::openExisting(path, file);
    if (failure)
        return CodecStatus::Failed;
    if (const CodecStatus status = readHeader(file, header, failure); status != CodecStatus::Ok)
        return status;
    const RowGeometry geometry = GeometryOf(header);
    failure = checkGeometry(header, geometry);
    if (!failure)
        failure = checkRowsPresent(file, geometry);
    if (failure)
        return CodecStatus::Failed;
    capacity = PayloadCapacity(geometry);
    return CodecStatus::Ok;
}

CodecResult HidePayloadInto(BinaryFile& source, const DestinationFn& destination, std::string_view payload,
                            uint8_t kind, int32_t& offset)
{
    CodecResult result;
    const auto fail = [&result](const Failure& f) {
        showFailure(kEncodePrefix, f);
        result.status = CodecStatus::Failed;
        return result;
    };
    const auto refuse = [&result](const std::string& text, MsgIcon icon) {
        MsgBox(text, icon);
        result.status = CodecStatus::Refused;
        return result;
    };

    if (payload.size() > static_cast<size_t>(kInt32Max - kLengthFieldSize))
        return fail({ErrorCode::Overflow, "the payload is larger than 2 GiB"});
    const Stream stream(payload);
    BitmapHeader header;
    Failure failure;
    switch (readHeader(source, header, failure)) {
    case CodecStatus::Refused: return refuse(kNotBitmapText, MsgIcon::Information);
    case CodecStatus::Ok: break;
    default: return fail(failure);
    }
    if (offset < 0)
        return refuse(kNegativeOffsetText, MsgIcon::Information);
    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = checkGeometry(header, geometry))
        return fail(f);
    // The stream must fit between the offset and the last group.
    if (int64_t(offset) + stream.size() > geometry.groups) {
        const int64_t most = geometry.groups - offset - kLengthFieldSize;
        return refuse(most > 0 ? "Due to size of picture, message cannot exceed " + FormatNumber(most) + " bytes"
                               : std::string("Due to size of picture, there is no room for a message") +
                                     (offset > 0 ? " after the offset" : ""),
                      MsgIcon::None);
    }
    if (Failure f = checkRowsPresent(source, geometry))
        return fail(f);

    BinaryFile* out = nullptr;
    if (Failure f = destination(out))
        return fail(f);
    if (Failure f = out->write(header.bytes, kHeaderSize))
        return fail(f);
    const int64_t firstGroup = offset;
    if (Failure f = RowEncoder(source, *out, geometry, stream, kind, offset).run())
        return fail(f);
    if (gAbort) {
        result.status = CodecStatus::Aborted;
        return result;
    }
    // What the new picture holds is checked before anybody takes it for done.
    std::string written;
    uint8_t writtenKind = kKindMessage;
    if (Failure f = readStream(*out, geometry, firstGroup, stream.size(), written, writtenKind))
        return fail(f);
    const std::string_view back(written);
    if (writtenKind != (kind & kLowBit) || back.substr(0, kLengthFieldSize) != LongToString(int32_t(payload.size())) ||
        back.substr(kLengthFieldSize) != payload)
        return fail({ErrorCode::DeviceIo, out->path() + ": " + kUnchangedText});
    result.status = CodecStatus::Ok;
    return result;
}

CodecResult RefuseDestination(const std::string& sourcePath, const std::string& destinationPath)
{
    std::string text;
    if (const std::string what = NotAFileAt(destinationPath); !what.empty())
        text = "The new picture cannot be saved as " + destinationPath + ": it is " + what +
               ", not a file.\r\n\r\nChoose another name for it.";
    else if (SameFile(sourcePath, destinationPath))
        text = kOwnCarrierText;
    else
        return CodecResult{CodecStatus::Ok, kKindMessage, {}};
    MsgBox(text, MsgIcon::Information);
    return CodecResult{CodecStatus::Refused, kKindMessage, {}};
}

CodecResult HidePayload(const std::string& sourcePath, const std::string& destinationPath,
                        std::string_view payload, uint8_t kind, int32_t& offset)
{
    // Nothing is read when the picture could not be saved anyway.
    if (CodecResult refused = RefuseDestination(sourcePath, destinationPath); refused.status != CodecStatus::Ok)
        return refused;
    BinaryFile source;
    if (Failure f = BinaryFile::openExisting(sourcePath, source)) {
        showFailure(kEncodePrefix, f);
        return CodecResult();
    }
    // The new picture takes the destination's place only once it is complete and holds the stream.
    OutputFile destination;
    CodecResult result = HidePayloadInto(
        source,
        [&](BinaryFile*& out) {
            out = &destination.file();
            return OutputFile::create(destinationPath, destination);
        },
        payload, kind, offset);
    if (result.status == CodecStatus::Ok) {
        if (Failure f = destination.commit()) {
            showFailure(kEncodePrefix, f);
            return CodecResult();
        }
    }
    return result;
}

int32_t EncodePicture(const std::string& sourcePath, const std::string& destinationPath,
                      std::string_view payload, uint8_t kind, int32_t& offset)
{
    switch (HidePayload(sourcePath, destinationPath, payload, kind, offset).status) {
    case CodecStatus::Ok:
    case CodecStatus::Aborted: return 0;
    case CodecStatus::Refused: return 1;
    case CodecStatus::Failed: break;
    }
    return 2;
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
    if (Failure f = checkGeometry(header, geometry))
        return f;
    return readStream(file, geometry, firstGroup, count, bytes, kind);
}

CodecResult RevealPayloadFrom(BinaryFile& file)
{
    CodecResult result;
    BitmapHeader header;
    Failure failure;
    switch (readHeader(file, header, failure)) {
    case CodecStatus::Refused:
        MsgBox(kNotBitmapText, MsgIcon::Information);
        result.status = CodecStatus::Refused;
        return result;
    case CodecStatus::Ok: break;
    default:
        showFailure(kDecodePrefix, failure);
        return result;
    }

    Ui().askPasswordAndOffset();
    if (gOffset < 0) {
        MsgBox(kNegativeOffsetText, MsgIcon::Information);
        result.status = CodecStatus::Refused;
        return result;
    }
    const RowGeometry geometry = GeometryOf(header);
    failure = checkGeometry(header, geometry);
    if (!failure)
        failure = decodeStream(file, geometry, result);
    if (failure) {
        showFailure(kDecodePrefix, failure);
        return CodecResult();
    }
    if (gAbort)
        return CodecResult{CodecStatus::Aborted, kKindMessage, {}};
    result.status = CodecStatus::Ok;
    return result;
}

CodecResult RevealPayload(const std::string& sourcePath)
{
    BinaryFile file;
    if (Failure f = BinaryFile::openExisting(sourcePath, file)) {
        showFailure(kDecodePrefix, f);
        return CodecResult();
    }
    return RevealPayloadFrom(file);
}

std::string DecodePicture(const std::string& sourcePath)
{
    const CodecResult result = RevealPayload(sourcePath);
    if (result.status != CodecStatus::Ok)
        return {};
    return static_cast<char>(result.kind) + result.payload;
}

}  // namespace mirel
