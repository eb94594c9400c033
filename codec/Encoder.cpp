// The encoder: a copy of the carrier with the stream in the low bits of its groups.
#include "CipherMirel.h"

#include "CodecRows.h"
#include "NumberText.h"
#include "Paths.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace mirel {

namespace {

using rows::kHighBitsMask;
using rows::kLowBit;

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

const char* const kNotBitmapText = "Bitmap doesn't appear to be in Windows format.";
const char* const kNegativeOffsetText = "The offset must be 0 or more.";
const char* const kOwnCarrierText =
    "The new picture cannot be written over its own carrier.\r\n\r\nChoose another name for it.";
const char* const kUnchangedText = "the new picture does not hold the data just written";

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
// picture has whole groups. Only the rows that hold the stream pass through the row buffer, a
// batch at a time with a yield after each row; the rows before and after them are copied as they
// are, by the kernel where it can, in slices of 64 MB with a yield after each. Both stop after the
// row or slice in which gAbort was set. The shared counters end as a row-by-row pass
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
        const int64_t batch = rows::BatchRows(m_geometry, lastStreamRow + 1 - firstStreamRow);
        if (Failure f = rows::MakeRowBuffer(m_source, m_geometry, m_rows, batch))
            return f;
        for (int64_t r = firstStreamRow; r <= lastStreamRow; r += batch) {
            if (Failure f = encodeRows(r, std::min(batch, lastStreamRow + 1 - r)); f || gAbort)
                return f;
        }
        return copyRows(lastStreamRow + 1, m_geometry.rows);
    }

private:
    // Each call that has the kernel copy costs its own setting up: in slices of 8 MB a 72 MB
    // carrier took about an eighth longer than in one. A slice takes some 25 ms from the page cache.
    static constexpr int64_t kSliceBytes = int64_t(64) << 20;

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

    // Reads rows [r, r + count), puts the stream bytes that fall in each into its groups, with a
    // yield after each row, and writes them: up to the row in which gAbort was set.
    Failure encodeRows(int64_t r, int64_t count)
    {
        const auto stride = static_cast<size_t>(m_geometry.stride);
        if (Failure f = m_source.readExact(m_rows.data(), static_cast<size_t>(count) * stride))
            return f;
        int64_t done = 0;
        while (done < count && !gAbort) {
            encodeRow(r + done, m_rows.data() + static_cast<size_t>(done) * stride);
            countRows(r + done++, 1);
            Yield();
        }
        return m_destination.write(m_rows.data(), static_cast<size_t>(done) * stride);
    }

    // Puts the stream bytes that fall in row r, held at row, into its groups.
    void encodeRow(int64_t r, uint8_t* row)
    {
        const int64_t rowStart = r * m_geometry.groupsPerRow;
        const int64_t from = std::max(m_first, rowStart);
        const int64_t to = std::min(m_end, rowStart + m_geometry.groupsPerRow);
        uint8_t* group = row + (from - rowStart) * kGroupBytes;
        for (int64_t g = from; g < to; ++g, group += kGroupBytes)
            rows::PutByte(group, m_stream[g - m_first]);
        if (from == m_first) {
            uint8_t& kindByte = row[(from - rowStart) * kGroupBytes + kKindByte];
            kindByte = static_cast<uint8_t>((kindByte & kHighBitsMask) | (m_kind & kLowBit));
            gMsgStart = static_cast<int32_t>(from);
        }
        if (to > from)
            gMsgEnd = static_cast<int32_t>(to - 1);
    }

    // The counters after rows [r, r + rows): their groups visited, those before the stream passed
    // over.
    void countRows(int64_t r, int64_t rows)
    {
        const int64_t groups = rows * m_geometry.groupsPerRow;
        m_offset -= static_cast<int32_t>(std::clamp<int64_t>(m_first - r * m_geometry.groupsPerRow, 0, groups));
        gBytePos += static_cast<int32_t>(groups);
        Progress(r + rows, m_geometry.rows);
    }

    BinaryFile& m_source;
    BinaryFile& m_destination;
    const RowGeometry& m_geometry;
    const Stream& m_stream;
    const uint8_t m_kind;
    int32_t& m_offset;
    const int64_t m_first;  // the group of the first stream byte
    const int64_t m_end;    // one past the group of the last
    std::vector<uint8_t> m_rows;  // a batch of rows
};

// The checks before anything is written: a bitmap, a usable offset and geometry, a stream that
// fits between the offset and the last group, every row in the file. Ok when the pass may start.
CodecResult checkInput(BinaryFile& source, BitmapHeader& header, const Stream& stream, int32_t offset)
{
    Failure failure;
    switch (rows::ReadHeader(source, header, failure)) {
    case CodecStatus::Refused: return Refusal(Problem::NotAPicture, kNotBitmapText);
    case CodecStatus::Ok: break;
    default: return EncodingFailure(failure);
    }
    if (offset < 0)
        return Refusal(Problem::NegativeOffset, kNegativeOffsetText);
    const RowGeometry geometry = GeometryOf(header);
    if (Failure f = rows::CheckGeometry(header, geometry))
        return EncodingFailure(f);
    if (int64_t(offset) + stream.size() > geometry.groups) {
        const int64_t most = geometry.groups - offset - kLengthFieldSize;
        CodecResult refused =
            Refusal(Problem::NoRoom,
                    most > 0 ? "Due to size of picture, message cannot exceed " + FormatNumber(most) + " bytes"
                             : std::string("Due to size of picture, there is no room for a message") +
                                   (offset > 0 ? " after the offset" : ""),
                    MsgIcon::None);
        refused.room = most;
        return refused;
    }
    if (Failure f = rows::CheckRowsPresent(source, geometry))
        return EncodingFailure(f);
    return CodecResult{CodecStatus::Ok, kKindMessage, {}, {}, {}};
}

// What the new picture holds is checked before anybody takes it for done.
Failure checkWritten(BinaryFile& out, const RowGeometry& geometry, int64_t firstGroup, std::string_view payload,
                     uint8_t kind)
{
    std::string written;
    uint8_t writtenKind = kKindMessage;
    if (Failure f = rows::ReadStreamFrom(out, geometry, firstGroup, kLengthFieldSize + int64_t(payload.size()),
                                         written, writtenKind))
        return f;
    const std::string_view back(written);
    if (writtenKind != (kind & kLowBit) || back.substr(0, kLengthFieldSize) != LongToString(int32_t(payload.size())) ||
        back.substr(kLengthFieldSize) != payload)
        return {ErrorCode::DeviceIo, out.path() + ": " + kUnchangedText};
    return {};
}

}  // namespace

CodecResult HidePayloadInto(BinaryFile& source, const DestinationFn& destination, std::string_view payload,
                            uint8_t kind, int32_t& offset)
{
    if (payload.size() > static_cast<size_t>(kInt32Max - kLengthFieldSize))
        return EncodingFailure({ErrorCode::Overflow, "the payload is larger than 2 GiB"});
    const Stream stream(payload);
    BitmapHeader header;
    if (CodecResult checked = checkInput(source, header, stream, offset); checked.status != CodecStatus::Ok)
        return checked;
    const RowGeometry geometry = GeometryOf(header);

    BinaryFile* out = nullptr;
    if (Failure f = destination(out))
        return EncodingFailure(f);
    if (Failure f = out->write(header.bytes, kHeaderSize))
        return EncodingFailure(f);
    const int64_t firstGroup = offset;
    if (Failure f = RowEncoder(source, *out, geometry, stream, kind, offset).run())
        return EncodingFailure(f);
    if (gAbort)
        return CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}};
    if (Failure f = checkWritten(*out, geometry, firstGroup, payload, kind))
        return EncodingFailure(f);
    return CodecResult{CodecStatus::Ok, kKindMessage, {}, {}, {}};
}

CodecResult HideAt(const std::string& destinationPath, const HideFn& hide)
{
    OutputFile destination;
    CodecResult result = hide([&](BinaryFile*& out) {
        out = &destination.file();
        return OutputFile::create(destinationPath, destination);
    });
    if (result.status != CodecStatus::Ok)
        return result;
    std::string note;
    if (Failure f = destination.commit(&note))
        return EncodingFailure(f);
    if (!note.empty())
        result.messages.push_back({note, MsgIcon::Information});
    return result;
}

CodecResult HidePayloadAt(BinaryFile& source, const std::string& destinationPath, std::string_view payload,
                          uint8_t kind, int32_t& offset)
{
    return HideAt(destinationPath, [&](const DestinationFn& destination) {
        return HidePayloadInto(source, destination, payload, kind, offset);
    });
}

CodecResult RefuseDestination(const std::string& sourcePath, const std::string& destinationPath)
{
    if (const std::string what = NotAFileAt(destinationPath); !what.empty())
        return Refusal(Problem::NotAFile, "The new picture cannot be saved as " + destinationPath + ": it is " + what +
                       ", not a file.\r\n\r\nChoose another name for it.");
    if (SameFile(sourcePath, destinationPath))
        return Refusal(Problem::OwnCarrier, kOwnCarrierText);
    return CodecResult{CodecStatus::Ok, kKindMessage, {}, {}, {}};
}

}  // namespace mirel
