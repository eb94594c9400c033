// The four-byte length field both ways.
//
// Input: four bytes, read as a length field and, with the top bit cleared, as a length.
// StringToLong must read any field whose fourth byte is below 128 as the little-endian number it
// holds and give it back through LongToString; a larger fourth byte gives 0. Every length from 0
// to 2147483647 must survive LongToString then StringToLong.

#include "CipherMirel.h"
#include "FuzzSupport.h"

using namespace mirel;

namespace {
constexpr uint8_t kTopByteLimit = 128;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < static_cast<size_t>(kLengthFieldSize))
        return 0;
    fuzz::InstallSilentUi();

    const std::string field(reinterpret_cast<const char*>(data), kLengthFieldSize);
    const uint32_t number = uint32_t(data[0]) | (uint32_t(data[1]) << 8) | (uint32_t(data[2]) << 16) |
                            (uint32_t(data[3]) << 24);

    const int32_t read = StringToLong(field);
    if (data[3] >= kTopByteLimit) {
        FUZZ_CHECK(read == 0);
    } else {
        FUZZ_CHECK(read == static_cast<int32_t>(number));
        FUZZ_CHECK(LongToString(read) == field);
    }

    const auto length = static_cast<int32_t>(number & 0x7FFFFFFFu);
    const std::string written = LongToString(length);
    FUZZ_CHECK(written.size() == static_cast<size_t>(kLengthFieldSize));
    FUZZ_CHECK(StringToLong(written) == length);
    return 0;
}
