// Arbitrary carriers and payloads through the encoder, and every picture it makes back through
// the decoder.
//
// Input: [control][carrier length, 2 bytes LE][carrier file][payload]. Control bit 0 is the kind,
// bits 1..6 the groups to pass over (0..63); bit 7 makes that offset negative (-1..-64), which
// must never succeed. A carrier length past the end takes what is there.
//
// When the encoder reports success, the new picture must be the carrier's header and rows with
// only the lowest bits of the stream's groups changed, and both reading the stream back and
// decoding the picture with the same offset must give back the kind and the payload.

#include "CipherMirel.h"
#include "FuzzSupport.h"

#include <algorithm>
#include <string_view>

using namespace mirel;

namespace {

constexpr size_t kPrefixSize = 3;

int64_t le32At(const std::string& bytes, size_t at)
{
    const auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + k])); };
    return static_cast<int32_t>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
}

// The picture must hold the carrier's header and its rows (nothing after them), and differ from
// the carrier only in the lowest bit of g[0..7] of the stream's groups and of g[8] of its first.
void checkPicture(const std::string& carrier, const std::string& picture, int64_t offset,
                  int64_t streamLength)
{
    const int64_t width = le32At(carrier, kWidthOffset);
    const int64_t height = le32At(carrier, kHeightOffset);
    FUZZ_CHECK(width >= 0);
    const int64_t dataBytes = width * kBytesPerPixel;
    const int64_t stride = (dataBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    const int64_t rows = std::max<int64_t>(height, 0);
    const int64_t groupsPerRow = width / kBytesPerPixel;

    FUZZ_CHECK(static_cast<int64_t>(picture.size()) == kHeaderSize + stride * rows);
    FUZZ_CHECK(picture.compare(0, kHeaderSize, carrier, 0, kHeaderSize) == 0);
    FUZZ_CHECK(gBytePos == groupsPerRow * rows);
    FUZZ_CHECK(gMsgStart == offset);
    FUZZ_CHECK(gMsgEnd == offset + streamLength - 1);

    for (size_t at = kHeaderSize; at < picture.size(); ++at) {
        const auto changed = static_cast<uint8_t>(picture[at] ^ carrier[at]);
        if (changed == 0)
            continue;
        FUZZ_CHECK(changed == 1);
        const int64_t inRow = static_cast<int64_t>(at - kHeaderSize) % stride;
        const int64_t row = static_cast<int64_t>(at - kHeaderSize) / stride;
        FUZZ_CHECK(inRow < groupsPerRow * kGroupBytes);
        const int64_t group = row * groupsPerRow + inRow / kGroupBytes;
        FUZZ_CHECK(group >= offset && group < offset + streamLength);
        if (inRow % kGroupBytes == kKindByte)
            FUZZ_CHECK(group == offset);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kPrefixSize)
        return 0;
    fuzz::InstallSilentUi();
    static const std::string carrierPath = fuzz::ScratchPath("carrier.bmp");
    static const std::string picturePath = fuzz::ScratchPath("picture.bmp");

    const uint8_t control = data[0];
    const uint8_t kind = control & 1;
    const int32_t offsetBits = (control >> 1) & 0x3F;
    const int32_t offset = (control & 0x80) ? -offsetBits - 1 : offsetBits;
    const size_t carrierSize = std::min<size_t>(data[1] | (data[2] << 8), size - kPrefixSize);
    const std::string carrier(reinterpret_cast<const char*>(data + kPrefixSize), carrierSize);
    const std::string_view payload(reinterpret_cast<const char*>(data + kPrefixSize + carrierSize),
                                   size - kPrefixSize - carrierSize);
    fuzz::WriteFile(carrierPath, reinterpret_cast<const uint8_t*>(carrier.data()), carrier.size());

    gAbort = false;
    gBytePos = gMsgStart = gMsgEnd = 0;
    int32_t remaining = offset;
    const CodecResult result = fuzz::Encode(carrierPath, picturePath, payload, kind, remaining);
    FUZZ_CHECK(result.status != CodecStatus::Aborted);
    // A refusal or a failure says why; a negative offset is refused.
    FUZZ_CHECK((result.status == CodecStatus::Ok) == result.messages.empty());
    if (offset < 0)
        FUZZ_CHECK(result.status != CodecStatus::Ok);
    if (result.status != CodecStatus::Ok)
        return 0;
    // A successful pass used up the offset before the first stream byte.
    FUZZ_CHECK(remaining == 0);

    const std::string picture = fuzz::ReadFile(picturePath);
    checkPicture(carrier, picture, offset, kLengthFieldSize + static_cast<int64_t>(payload.size()));

    std::string stream;
    uint8_t streamKind = 0;
    FUZZ_CHECK(!ReadStream(picturePath, offset, kLengthFieldSize + static_cast<int64_t>(payload.size()),
                           stream, streamKind));
    FUZZ_CHECK(streamKind == kind);
    FUZZ_CHECK(stream == LongToString(static_cast<int32_t>(payload.size())) + std::string(payload));

    int32_t again = offset;
    const CodecResult decoded = fuzz::Decode(picturePath, again);
    FUZZ_CHECK(decoded.status == CodecStatus::Ok);
    FUZZ_CHECK(decoded.kind == kind);
    FUZZ_CHECK(decoded.payload == payload);
    return 0;
}
