// The stealth layout on files: the picture held in memory, changed there, written and checked.
#include "Stealth.h"

#include "CodecRows.h"
#include "NumberText.h"
#include "Payload.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace mirel {

namespace {

constexpr int64_t kSliceBytes = int64_t(8) << 20;
const char* const kNotBitmapText = "Bitmap doesn't appear to be in Windows format.";
const char* const kNoPasswordText = "Stealth needs a password.";
const char* const kUnchangedText = "the new picture does not hold the data just written";

CodecResult ok()
{
    return CodecResult{CodecStatus::Ok, kKindMessage, {}, {}, {}};
}

CodecResult aborted()
{
    return CodecResult{CodecStatus::Aborted, kKindMessage, {}, {}, {}};
}

// The rows of a picture in memory: the cover bytes (every row's pixel bytes, one after the other)
// and apart from them each row's padding, which is written back as it was. Rows without padding
// are the cover bytes as they lie in the file, and go in and out without a copy.
struct PictureRows {
    RowGeometry geometry;
    std::unique_ptr<uint8_t[]> pixels;  // not cleared first: every byte is read before it is used
    int64_t pixelBytes = 0;
    std::vector<uint8_t> padding;

    int64_t padBytes() const { return geometry.stride - geometry.dataBytes; }
    StealthCover cover() { return {pixels.get(), pixelBytes, geometry.dataBytes}; }
    // The rows that one slice of the file holds.
    int64_t sliceRows() const { return std::max<int64_t>(1, kSliceBytes / std::max<int64_t>(1, geometry.stride)); }

    // Rows [first, first + count) as they lie in the file: in place, or put together in slice.
    const uint8_t* toFile(int64_t first, int64_t count, std::vector<uint8_t>& slice) const
    {
        if (padBytes() == 0)
            return pixels.get() + first * geometry.dataBytes;
        slice.resize(size_t(count * geometry.stride));
        for (int64_t r = 0; r < count; ++r) {
            uint8_t* row = slice.data() + r * geometry.stride;
            std::copy_n(pixels.get() + (first + r) * geometry.dataBytes, geometry.dataBytes, row);
            std::copy_n(padding.data() + (first + r) * padBytes(), padBytes(), row + geometry.dataBytes);
        }
        return slice.data();
    }
    // Where rows [first, first + count) are read to: in place, or slice, taken apart by fromFile.
    uint8_t* readTarget(int64_t first, std::vector<uint8_t>& slice)
    {
        return padBytes() == 0 ? pixels.get() + first * geometry.dataBytes : slice.data();
    }
    void fromFile(int64_t first, int64_t count, const std::vector<uint8_t>& slice)
    {
        if (padBytes() == 0)
            return;
        for (int64_t r = 0; r < count; ++r) {
            const uint8_t* row = slice.data() + r * geometry.stride;
            std::copy_n(row, geometry.dataBytes, pixels.get() + (first + r) * geometry.dataBytes);
            std::copy_n(row + geometry.dataBytes, padBytes(), padding.data() + (first + r) * padBytes());
        }
    }
};

// Reads every row of the picture in file (just after the header) into rows, in slices with a
// yield after each. Sets stopped when the user aborted.
Failure readRows(BinaryFile& file, const BitmapHeader& header, PictureRows& rows, bool& stopped)
{
    stopped = false;
    rows.geometry = GeometryOf(header);
    const RowGeometry& g = rows.geometry;
    if (Failure f = rows::CheckGeometry(header, g))
        return f;
    if (Failure f = rows::CheckRowsPresent(file, g))
        return f;
    // Rows without a byte (a width of 0) hold no cover, however many a header announces.
    if (g.dataBytes <= 0 || g.rows <= 0)
        return {};
    std::vector<uint8_t> slice;
    try {
        rows.pixelBytes = g.dataBytes * g.rows;
        rows.pixels.reset(new uint8_t[static_cast<size_t>(rows.pixelBytes)]);
        rows.padding.assign(static_cast<size_t>(rows.padBytes() * g.rows), 0);
        if (rows.padBytes() != 0)
            slice.resize(static_cast<size_t>(std::min(g.rows, rows.sliceRows()) * g.stride));
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory,
                "no room for the " + FormatNumber(g.stride * g.rows) + " bytes of the picture's rows"};
    }
    for (int64_t r = 0; r < g.rows; r += rows.sliceRows()) {
        const int64_t count = std::min(rows.sliceRows(), g.rows - r);
        if (Failure f = file.readExact(rows.readTarget(r, slice), static_cast<size_t>(count * g.stride)))
            return f;
        rows.fromFile(r, count, slice);
        Yield();
        if ((stopped = gAbort))
            return {};
    }
    return {};
}

// Writes header and rows into out and checks that they read back as written.
Failure writeRows(BinaryFile& out, const BitmapHeader& header, const PictureRows& rows)
{
    if (Failure f = out.write(header.bytes, kHeaderSize))
        return f;
    const RowGeometry& g = rows.geometry;
    std::vector<uint8_t> slice;
    std::vector<uint8_t> back;
    for (int64_t r = 0; r < g.rows; r += rows.sliceRows()) {
        const int64_t count = std::min(rows.sliceRows(), g.rows - r);
        const size_t size = static_cast<size_t>(count * g.stride);
        if (Failure f = out.write(rows.toFile(r, count, slice), size))
            return f;
    }
    for (int64_t r = 0; r < g.rows; r += rows.sliceRows()) {
        const int64_t count = std::min(rows.sliceRows(), g.rows - r);
        const size_t size = static_cast<size_t>(count * g.stride);
        const uint8_t* written = rows.toFile(r, count, slice);
        back.resize(size);
        if (Failure f = out.readAt(kHeaderSize + r * g.stride, back.data(), back.size()))
            return f;
        if (!std::equal(back.begin(), back.end(), written))
            return {ErrorCode::DeviceIo, out.path() + ": " + kUnchangedText};
    }
    return {};
}

CodecResult tooLarge(int64_t capacity)
{
    CodecResult refused =
        Refusal(Problem::NoRoom,
                capacity > 0 ? "Due to size of picture, a stealth message cannot exceed " + FormatNumber(capacity) +
                                   " bytes"
                             : std::string("Due to size of picture, there is no room for a stealth message"),
                MsgIcon::None);
    refused.room = capacity;
    return refused;
}

CodecResult keyDerivationFailure(CodecResult (*failure)(const Failure&))
{
    return failure({ErrorCode::OutOfMemory, "there is not enough memory for the key derivation"});
}

}  // namespace

CodecResult HideStealthInto(BinaryFile& source, const DestinationFn& destination, std::string_view payload,
                            uint8_t kind, std::string_view password, const StealthChoices& choices)
{
    BitmapHeader header;
    Failure failure;
    switch (rows::ReadHeader(source, header, failure)) {
    case CodecStatus::Refused: return Refusal(Problem::NotAPicture, kNotBitmapText);
    case CodecStatus::Ok: break;
    default: return EncodingFailure(failure);
    }
    if (password.empty())
        return Refusal(Problem::WrongPassword, kNoPasswordText);
    // Refused before the picture is read: the geometry alone tells.
    const int64_t capacity = StealthCapacity(GeometryOf(header));
    if (static_cast<int64_t>(payload.size()) > capacity)
        return tooLarge(capacity);
    PictureRows rows;
    bool stopped = false;
    if (Failure f = readRows(source, header, rows, stopped))
        return EncodingFailure(f);
    if (stopped)
        return aborted();
    switch (EmbedStealth(rows.cover(), kind, payload, password, choices, stopped)) {
    case StealthStatus::Ok: break;
    case StealthStatus::TooLarge: return tooLarge(capacity);
    default: return keyDerivationFailure(EncodingFailure);
    }
    if (stopped)
        return aborted();
    BinaryFile* out = nullptr;
    if (Failure f = destination(out))
        return EncodingFailure(f);
    if (Failure f = writeRows(*out, header, rows))
        return EncodingFailure(f);
    return ok();
}

CodecResult HideStealthAt(BinaryFile& source, const std::string& destinationPath, std::string_view payload,
                          uint8_t kind, std::string_view password, const StealthChoices& choices)
{
    return HideAt(destinationPath, [&](const DestinationFn& destination) {
        return HideStealthInto(source, destination, payload, kind, password, choices);
    });
}

bool HoldsSealedBoxAtStart(BinaryFile& file, const BitmapHeader& header)
{
    // The length field, the name's length and name, and the box's magic of 8 bytes.
    const int64_t count = kLengthFieldSize + 1 + int64_t(sizeof kSealedName - 1) + 8;
    const RowGeometry geometry = GeometryOf(header);
    std::string stream;
    uint8_t kind = kKindMessage;
    if (rows::CheckGeometry(header, geometry) || geometry.groups < count ||
        rows::ReadStreamFrom(file, geometry, 0, count, stream, kind) || file.seek(kHeaderSize))
        return false;
    FilePayload payload;
    return kind == kKindFile && SplitFilePayload(std::string_view(stream).substr(kLengthFieldSize), payload) &&
           IsSealedBox(payload.data);
}

CodecResult RevealStealthFrom(BinaryFile& file, const BitmapHeader& header, std::string_view password,
                              const SealCost& cost)
{
    PictureRows rows;
    bool stopped = false;
    Failure failure = file.seek(kHeaderSize);
    if (!failure)
        failure = readRows(file, header, rows, stopped);
    if (failure)
        return DecodingFailure(failure);
    if (stopped)
        return aborted();
    CodecResult result;
    switch (ExtractStealth(rows.cover(), password, cost, result.kind, result.payload, stopped)) {
    case StealthStatus::Ok: result.status = CodecStatus::Ok; return result;
    case StealthStatus::Failed: return keyDerivationFailure(DecodingFailure);
    default: break;
    }
    return stopped ? aborted() : Refusal(Problem::WrongPassword, kSealRefusedText);
}

}  // namespace mirel
