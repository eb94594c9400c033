// The stealth layout on files: the picture held in memory, changed there, written and checked.
#include "Stealth.h"

#include "CodecRows.h"
#include "NumberText.h"

#include <algorithm>
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

// The rows of a picture, as they lie in the file from byte 54 on, in memory.
struct PictureRows {
    RowGeometry geometry;
    std::vector<uint8_t> bytes;

    StealthCover cover()
    {
        return {bytes.data(), geometry.dataBytes, geometry.stride, geometry.rows};
    }
};

// Reads every row of the picture in file (just after the header) into rows, in slices with a yield after each. Sets
// stopped when the user aborted.
Failure readRows(BinaryFile& file, const BitmapHeader& header, PictureRows& rows, bool& stopped)
{
    stopped = false;
    rows.geometry = GeometryOf(header);
    if (Failure f = rows::CheckGeometry(header, rows.geometry))
        return f;
    if (Failure f = rows::CheckRowsPresent(file, rows.geometry))
        return f;
    const int64_t size = rows.geometry.stride * rows.geometry.rows;
    try {
        rows.bytes.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        return {ErrorCode::OutOfMemory, "no room for the " + FormatNumber(size) + " bytes of the picture's rows"};
    }
    for (int64_t at = 0; at < size; at += kSliceBytes) {
        const int64_t count = std::min(kSliceBytes, size - at);
        if (Failure f = file.readExact(rows.bytes.data() + at, static_cast<size_t>(count)))
            return f;
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
    const int64_t size = static_cast<int64_t>(rows.bytes.size());
    if (Failure f = out.write(rows.bytes.data(), rows.bytes.size()))
        return f;
    std::vector<uint8_t> back;
    for (int64_t at = 0; at < size; at += kSliceBytes) {
        const size_t count = static_cast<size_t>(std::min(kSliceBytes, size - at));
        back.resize(count);
        if (Failure f = out.readAt(kHeaderSize + at, back.data(), count))
            return f;
        if (!std::equal(back.begin(), back.end(), rows.bytes.begin() + at))
            return {ErrorCode::DeviceIo, out.path() + ": " + kUnchangedText};
    }
    return {};
}

CodecResult tooLarge(int64_t capacity)
{
    return Refusal(capacity > 0 ? "Due to size of picture, a stealth message cannot exceed " +
                                      FormatNumber(capacity) + " bytes"
                                : std::string("Due to size of picture, there is no room for a stealth message"),
                   MsgIcon::None);
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
    case CodecStatus::Refused: return Refusal(kNotBitmapText);
    case CodecStatus::Ok: break;
    default: return EncodingFailure(failure);
    }
    if (password.empty())
        return Refusal(kNoPasswordText);
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
    OutputFile destination;
    CodecResult result = HideStealthInto(
        source,
        [&](BinaryFile*& out) {
            out = &destination.file();
            return OutputFile::create(destinationPath, destination);
        },
        payload, kind, password, choices);
    if (result.status == CodecStatus::Ok) {
        if (Failure f = destination.commit())
            return EncodingFailure(f);
    }
    return result;
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
    return stopped ? aborted() : Refusal(kSealRefusedText);
}

}  // namespace mirel
