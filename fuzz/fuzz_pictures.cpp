// Arbitrary files as carriers of any kind: BMP and PNG, and JPEG, GIF and the rest through Qt's
// readers in the module that holds them.
//
// Input: a file. It and kMutations copies of it with one byte changed (places and values from a
// fixed generator, so that a replay is repeatable) go through the encoder's way in: each must end
// with a result that says why when it is not Ok, never crash, read memory it did not write, hang
// or ask for memory out of proportion; an Ok picture gives back what was hidden.

#include "CipherMirel.h"
#include "FuzzSupport.h"
#include "Pictures.h"

#include <cstdint>
#include <string>

using namespace mirel;

namespace {

constexpr int kMutations = 33;

void tryCarrier(const std::string& bytes)
{
    static const std::string carrierPath = fuzz::ScratchPath("carrier");
    static const std::string picturePath = fuzz::ScratchPath("picture.bmp");
    fuzz::WriteFile(carrierPath, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    PictureFacts facts;
    Failure failure;
    FUZZ_CHECK(ProbePicture(carrierPath, facts, failure) == CodecStatus::Ok);
    gAbort = false;
    int32_t offset = 0;
    const CodecResult result = HideInPicture(carrierPath, picturePath, "mirel", kKindMessage, offset);
    FUZZ_CHECK(result.status == CodecStatus::Ok || !result.messages.empty());
    if (result.status != CodecStatus::Ok)
        return;
    const CodecResult back = fuzz::Decode(picturePath, offset);
    FUZZ_CHECK(back.status == CodecStatus::Ok && back.payload == "mirel");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::InstallSilentUi();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    tryCarrier(bytes);
    uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(size);
    for (int k = 0; k < kMutations && !bytes.empty(); ++k) {
        std::string mutated = bytes;
        state = state * 1664525u + 1013904223u;
        mutated[state % mutated.size()] = static_cast<char>(state >> 24);
        tryCarrier(mutated);
    }
    return 0;
}
