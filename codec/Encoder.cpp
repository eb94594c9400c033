// The encoder: a copy of the carrier with the stream in the low bits of its groups.
#include "CipherMirel.h"

#include "CodecRows.h"
#include "NumberText.h"
#include "Paths.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
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

// The encoder's pass: stream byte n goes into group offset + n. The caller has made sure that the
// whole stream fits, so that the picture has whole groups. The destination is an empty file. The
// rows that hold the stream are read a batch at a time, with a yield after each row; the others are
// copied as they are, by the kernel where it can, in slices of 64 MB.
//
// From a file that can be read at any place, a second thread copies the whole bitmap in the order
// of the file, while this one fills the stream's rows and writes each batch over its copy once the
// copy has passed the stream's last row; it then yields until the copy is done. From a pipe,
// everything goes in the order of the file, with a yield after each slice.
//
// Both stop after the row or slice in which gAbort was set. The shared counters end as a
// row-by-row pass leaves them.
class RowEncoder {
public:
    RowEncoder(BinaryFile& source, BinaryFile& destination, const BitmapHeader& header, const Stream& stream,
               uint8_t kind, int32_t& offset)
        : m_source(source), m_destination(destination), m_header(header), m_geometry(GeometryOf(header)),
          m_stream(stream), m_kind(kind), m_offset(offset), m_first(offset), m_end(offset + stream.size()),
          m_firstStreamRow(m_first / m_geometry.groupsPerRow), m_lastStreamRow((m_end - 1) / m_geometry.groupsPerRow),
          m_inPlace(source.length() >= 0)
    {
    }

    // Runs the pass and then check (which reads back what was written), unless it was aborted.
    Failure run(const std::function<Failure()>& check)
    {
        if (m_inPlace)
            return runInPlace(check);
        const int64_t batch = rows::BatchRows(m_geometry, m_lastStreamRow + 1 - m_firstStreamRow);
        if (Failure f = rows::MakeRowBuffer(m_source, m_geometry, m_rows, batch))
            return f;
        if (Failure f = m_destination.write(m_header.bytes, kHeaderSize);
            f || (f = copyRows(m_firstStreamRow)) || gAbort)
            return f;
        for (int64_t r = m_firstStreamRow; r <= m_lastStreamRow; r += batch) {
            if (Failure f = encodeRows(r, std::min(batch, m_lastStreamRow + 1 - r)); f || gAbort)
                return f;
        }
        if (Failure f = copyRows(m_geometry.rows - m_lastStreamRow - 1); f || gAbort)
            return f;
        return check();
    }

private:
    // Each call that has the kernel copy costs its own setting up: in slices of 8 MB a 72 MB
    // carrier took about an eighth longer than in one. A slice takes some 25 ms from the page cache.
    static constexpr int64_t kSliceBytes = int64_t(64) << 20;
    static constexpr int64_t kAlign = int64_t(1) << 20;

    // A second thread copies what does not hold the stream while the stream's rows are filled
    // here; they are read back while the copy goes on. The kernel's copies start and end where the
    // destination is aligned (after a start at an odd place, it copied the rest into small pages,
    // an eighth slower): up to a megabyte on each side of the stream's rows is copied here. A
    // stream of less than a megabyte goes over the copy instead, once the copy has passed it.
    Failure runInPlace(const std::function<Failure()>& check)
    {
        const int64_t total = kHeaderSize + m_geometry.rows * m_geometry.stride;
        const int64_t streamStart = kHeaderSize + m_firstStreamRow * m_geometry.stride;
        const int64_t streamEnd = kHeaderSize + (m_lastStreamRow + 1) * m_geometry.stride;
        const bool over = streamEnd - streamStart < kAlign;
        const int64_t low = streamStart / kAlign * kAlign;  // the gap the thread leaves, unless over
        const int64_t high = std::min(total, (streamEnd + kAlign - 1) / kAlign * kAlign);
        std::atomic<bool> stop {false};
        const auto stopOnAbort = [&] {
            if (gAbort)
                stop = true;
        };
        // In slices, so that a stop is seen between two: first up to the gap (or past the stream),
        // then from its end.
        const auto copyRange = [&](int64_t from, int64_t to) {
            Failure f;
            for (int64_t at = from; !f && at < to && !stop; at += kSliceBytes)
                f = m_source.copyTo(m_destination, std::min(kSliceBytes, to - at), at);
            return f;
        };
        std::promise<Failure> passed;
        std::future<Failure> passedHigh = passed.get_future();
        std::future<Failure> copied = StartAside([&] {
            Failure f = copyRange(0, over ? high : low);
            passed.set_value(f);
            return f ? f : copyRange(high, total);
        });
        const int64_t batch = rows::BatchRows(m_geometry, m_lastStreamRow + 1 - m_firstStreamRow);
        Failure failure = rows::MakeRowBuffer(m_source, m_geometry, m_rows, batch);
        if (!failure && !over)
            failure = m_source.copyTo(m_destination, streamStart - low, low);
        countRows(0, m_firstStreamRow);
        for (int64_t r = m_firstStreamRow; r <= m_lastStreamRow && !failure && !gAbort; r += batch) {
            const int64_t count = std::min(batch, m_lastStreamRow + 1 - r);
            const int64_t at = kHeaderSize + r * m_geometry.stride;
            if ((failure = m_source.readAt(at, m_rows.data(), size_t(count * m_geometry.stride))))
                break;
            const int64_t done = fillRows(r, count);
            if (over && r == m_firstStreamRow && ((failure = YieldUntil(passedHigh, stopOnAbort)) || gAbort))
                break;
            failure = m_destination.writeAt(at, m_rows.data(), size_t(done * m_geometry.stride));
        }
        if (!failure && !gAbort && !over)
            failure = m_source.copyTo(m_destination, high - streamEnd, streamEnd);
        if (!failure && !gAbort)
            failure = check();
        stop = failure || gAbort;
        const Failure copyFailure = YieldUntil(copied, stopOnAbort);
        if (failure || gAbort || copyFailure)
            return failure ? failure : copyFailure;
        countRows(m_lastStreamRow + 1, m_geometry.rows - m_lastStreamRow - 1);
        // A yield for the rows copied, as after a slice copied in the order of the file.
        if (m_lastStreamRow + 1 - m_firstStreamRow < m_geometry.rows)
            Yield();
        return {};
    }

    // Copies the next count rows from where both files stand, with a yield after each slice, and
    // counts them.
    Failure copyRows(int64_t count)
    {
        const int64_t sliceRows = std::max<int64_t>(1, kSliceBytes / m_geometry.stride);
        for (int64_t done = 0; done < count && !gAbort; done += sliceRows) {
            const int64_t rows = std::min(sliceRows, count - done);
            if (Failure f = m_source.copyTo(m_destination, rows * m_geometry.stride))
                return f;
            countRows(m_copied, rows);
            Yield();
        }
        return {};
    }

    // Reads the next count rows, r on, puts the stream bytes that fall in each into its groups, and
    // writes them: up to the row in which gAbort was set.
    Failure encodeRows(int64_t r, int64_t count)
    {
        if (Failure f = m_source.readExact(m_rows.data(), size_t(count * m_geometry.stride)))
            return f;
        return m_destination.write(m_rows.data(), size_t(fillRows(r, count) * m_geometry.stride));
    }

    // Fills rows [r, r + count), held in the row buffer, with a yield after each: up to the row in
    // which gAbort was set. Returns how many.
    int64_t fillRows(int64_t r, int64_t count)
    {
        int64_t done = 0;
        while (done < count && !gAbort) {
            encodeRow(r + done, m_rows.data() + size_t(done * m_geometry.stride));
            countRows(r + done++, 1);
            Yield();
        }
        return done;
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
        if (rows <= 0)
            return;
        m_copied = r + rows;
        const int64_t groups = rows * m_geometry.groupsPerRow;
        m_offset -= static_cast<int32_t>(std::clamp<int64_t>(m_first - r * m_geometry.groupsPerRow, 0, groups));
        gBytePos += static_cast<int32_t>(groups);
        m_counted += rows;
        Progress(m_counted, m_geometry.rows);
    }

    BinaryFile& m_source;
    BinaryFile& m_destination;
    const BitmapHeader& m_header;
    const RowGeometry m_geometry;
    const Stream& m_stream;
    const uint8_t m_kind;
    int32_t& m_offset;
    const int64_t m_first;  // the group of the first stream byte
    const int64_t m_end;    // one past the group of the last
    const int64_t m_firstStreamRow;
    const int64_t m_lastStreamRow;
    const bool m_inPlace;         // the source can be read at any place
    int64_t m_counted = 0;        // rows counted so far
    int64_t m_copied = 0;         // the row after the last counted
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
    const int64_t firstGroup = offset;
    const auto check = [&] { return checkWritten(*out, geometry, firstGroup, payload, kind); };
    if (Failure f = RowEncoder(source, *out, header, stream, kind, offset).run(check))
        return EncodingFailure(f);
    if (gAbort)
        return CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}};
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
