// Arbitrary pictures through the decoder and the stealth reader.
//
// Input: [groups to pass over, 0..255][the picture file]. The decoder must refuse or fail with a
// message, or return the kind byte and the payload; it must never crash, hang or ask for memory
// out of proportion to the file. What it returns must match ReadStream's reading of the groups.
// The stealth reader (with the cheapest key derivation) must do the same and open nothing that
// its tags do not vouch for.

#include "CipherMirel.h"
#include "FuzzSupport.h"
#include "Stealth.h"

#include <algorithm>

using namespace mirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::InstallSilentUi();
    static const std::string picturePath = fuzz::ScratchPath("picture.bmp");

    const size_t prefix = size > 0 ? 1 : 0;
    const int32_t offset = size > 0 ? data[0] : 0;
    fuzz::WriteFile(picturePath, data + prefix, size - prefix);

    gAbort = false;
    {
        BinaryFile file;
        BitmapHeader header;
        if (!BinaryFile::openExisting(picturePath, file) && CheckPicture(file, header).status == CodecStatus::Ok) {
            const CodecResult hidden = RevealStealthFrom(file, header, "pw", {1, 8192});
            FUZZ_CHECK(hidden.kind <= kKindFile);
            FUZZ_CHECK(hidden.status == CodecStatus::Ok || (hidden.payload.empty() && !hidden.messages.empty()));
        }
    }
    int32_t remaining = offset;
    const CodecResult decoded = fuzz::Decode(picturePath, remaining);

    // Only a finished pass has a result; its kind is 0 or 1.
    FUZZ_CHECK(decoded.status == CodecStatus::Ok || (decoded.payload.empty() && decoded.kind == kKindMessage));
    FUZZ_CHECK(decoded.kind <= kKindFile);
    // The offset is counted down, never past 0.
    FUZZ_CHECK(remaining >= 0 && remaining <= offset);
    // Whatever did not end Ok says why.
    FUZZ_CHECK(decoded.status == CodecStatus::Ok || !decoded.messages.empty());
    if (decoded.status != CodecStatus::Ok)
        return 0;
    const std::string result = static_cast<char>(decoded.kind) + decoded.payload;

    // Where the whole stream lies within the picture, reading it back group by group must agree
    // with the decoder's pass over the rows.
    BitmapHeader header;
    FUZZ_CHECK(size > static_cast<size_t>(kHeaderSize));
    std::copy(data + 1, data + 1 + kHeaderSize, header.bytes);
    const RowGeometry geometry = GeometryOf(header);
    const int64_t payloadLength = static_cast<int64_t>(result.size()) - 1;
    const int64_t streamLength = kLengthFieldSize + payloadLength;
    if (geometry.groupsPerRow == 0 || offset + streamLength > geometry.groups)
        return 0;
    std::string stream;
    uint8_t kind = 0;
    FUZZ_CHECK(!ReadStream(picturePath, offset, streamLength, stream, kind));
    FUZZ_CHECK(kind == static_cast<uint8_t>(result[0]));
    FUZZ_CHECK(StringToLong(stream.substr(0, kLengthFieldSize)) == payloadLength);
    FUZZ_CHECK(stream.compare(kLengthFieldSize, std::string::npos, result, 1) == 0);
    return 0;
}
