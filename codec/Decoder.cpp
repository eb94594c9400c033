// The decoder: the length field, then the payload it announces.
#include "CipherMirel.h"

#include "CodecRows.h"
#include "NumberText.h"

#include <algorithm>
#include <new>
#include <vector>

namespace mirel {

namespace {

using rows::kLowBit;

const char* const kNotBitmapText = "Bitmap doesn't appear to be in Windows format.";
const char* const kNegativeOffsetText = "The offset must be 0 or more.";

// Hands out the stream bytes of a picture one group after the other, as the decoder walks: it
// passes over `offset` groups first, counting offset down, reads a row when it needs one, and
// after each row it has finished it yields and stops when the user has aborted. The caller has
// made sure that the picture has whole groups.
class GroupReader {
public:
    GroupReader(BinaryFile& file, const RowGeometry& geometry, std::vector<uint8_t>& row, int32_t& offset)
        : m_file(file), m_geometry(geometry), m_row(row), m_offset(offset), m_next(geometry.groupsPerRow)
    {
    }

    // The next stream byte. Fails with InputPastEnd when the rows run out; aborted() tells when
    // it stopped because the user aborted, with nothing in byte.
    Failure next(uint8_t& byte)
    {
        const int64_t perRow = m_geometry.groupsPerRow;
        while (m_next >= perRow || m_offset > 0) {
            if (m_next >= perRow) {
                if (Failure f = nextRow(); f || m_aborted)
                    return f;
            } else {
                const int64_t passed = std::min<int64_t>(m_offset, perRow - m_next);
                m_next += passed;
                m_offset -= static_cast<int32_t>(passed);
            }
        }
        const uint8_t* group = m_row.data() + m_next * kGroupBytes;
        if (m_lastGroup < 0)
            m_kind = group[kKindByte] & kLowBit;
        byte = rows::TakeByte(group);
        m_lastGroup = m_rowIndex * perRow + m_next;
        ++m_next;
        return {};
    }

    // The pass ends at the row of group lastGroup: the progress it reports counts to there.
    void endAt(int64_t lastGroup) { m_lastRow = lastGroup / m_geometry.groupsPerRow; }
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
        Progress(m_rowIndex + 1, m_lastRow + 1);
        return {};
    }

    BinaryFile& m_file;
    const RowGeometry& m_geometry;
    std::vector<uint8_t>& m_row;
    int32_t& m_offset;
    int64_t m_next;  // the next group of the row in the buffer
    int64_t m_rowIndex = -1;
    int64_t m_lastGroup = -1;
    int64_t m_lastRow = m_geometry.rows - 1;
    uint8_t m_kind = kKindMessage;
    bool m_aborted = false;
};

// The offset must leave room for the length field.
Failure checkRoom(const RowGeometry& geometry, int32_t offset)
{
    if (offset + int64_t(kLengthFieldSize) <= geometry.groups)
        return {};
    if (geometry.groupsPerRow == 0)
        return {ErrorCode::SubscriptOutOfRange, "the picture is less than 3 pixels wide"};
    return {ErrorCode::SubscriptOutOfRange, "the picture has " + FormatNumber(geometry.groups) +
                                                " groups; an offset of " + FormatNumber(offset) +
                                                " leaves no room for the length of hidden data"};
}

// Every announced byte must lie in the picture after the offset, and in the file; anything else
// comes from a picture without a stream, a wrong offset or a cut file.
Failure checkAnnounced(const BinaryFile& file, const RowGeometry& geometry, const GroupReader& reader,
                       int64_t length, int64_t mostPayload)
{
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
    return {};
}

// The decoder's walk once the picture is open and the offset known: the length field, then the
// payload it announces. A length field that does not fit 32 bits leaves its message in result
// and an empty payload.
Failure decodeStream(BinaryFile& file, const RowGeometry& geometry, int32_t& offset, CodecResult& result)
{
    if (Failure f = checkRoom(geometry, offset)) {
        result.problem = Problem::NothingHidden;
        return f;
    }
    const int64_t mostPayload = PayloadCapacity(geometry, offset);

    std::vector<uint8_t> row;
    if (Failure f = rows::MakeRowBuffer(file, geometry, row))
        return f;
    GroupReader reader(file, geometry, row, offset);
    uint8_t byte = 0;
    std::string lengthField;
    while (lengthField.size() < static_cast<size_t>(kLengthFieldSize)) {
        if (Failure f = reader.next(byte); f || reader.aborted())
            return f;
        lengthField += static_cast<char>(byte);
    }
    result.kind = reader.kind();

    Message overflow;
    const int64_t length = StringToLong(lengthField, &overflow);
    if (!overflow.text.empty())
        result.messages.push_back(overflow);
    if (Failure f = checkAnnounced(file, geometry, reader, length, mostPayload)) {
        result.problem = length > mostPayload ? Problem::TooMuchAnnounced : Problem::CutShort;
        return f;
    }
    reader.endAt(reader.lastGroup() + length);
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

}  // namespace

CodecResult CheckPicture(BinaryFile& file, BitmapHeader& header)
{
    Failure failure;
    switch (rows::ReadHeader(file, header, failure)) {
    case CodecStatus::Refused: return Refusal(Problem::NotAPicture, kNotBitmapText);
    case CodecStatus::Ok: return CodecResult{CodecStatus::Ok, kKindMessage, {}, {}, {}};
    default: return DecodingFailure(failure);
    }
}

CodecResult RevealPayloadFrom(BinaryFile& file, const BitmapHeader& header, int32_t& offset)
{
    if (offset < 0)
        return Refusal(Problem::NegativeOffset, kNegativeOffsetText);
    CodecResult result;
    const RowGeometry geometry = GeometryOf(header);
    Failure failure = rows::CheckGeometry(header, geometry);
    if (!failure)
        failure = decodeStream(file, geometry, offset, result);
    if (failure) {
        CodecResult failed = DecodingFailure(failure);
        if (result.problem != Problem::None)
            failed.problem = result.problem;
        else if (failure.code == ErrorCode::InputPastEnd)
            failed.problem = Problem::CutShort;
        return failed;
    }
    if (gAbort)
        return CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}};
    result.status = CodecStatus::Ok;
    return result;
}

}  // namespace mirel
