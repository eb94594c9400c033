// Sealed boxes, made and opened.
//
// Input: [kind][password length n, 1 byte][n password bytes][payload]. Sealing the payload and
// opening the box with the same password must give back kind and payload; the wrong password
// must be refused. The input read as a box itself (its key derivation made as cheap as possible)
// must never open, crash or ask for memory out of proportion.

#include "FuzzSupport.h"
#include "Seal.h"

#include <algorithm>
#include <string>

using namespace mirel;

namespace {
constexpr SealCost kCheap{1, 8192};
constexpr size_t kCostAt = 10;  // operations, then memory, 8 bytes each
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (size >= 2) {
        const uint8_t kind = data[0] & 1;
        const size_t n = std::min<size_t>(data[1], size - 2);
        const std::string password = input.substr(2, n);
        const std::string payload = input.substr(2 + n);
        std::string box;
        if (!password.empty() && SealPayload(kind, payload, password, box, kCheap) == SealStatus::Ok) {
            uint8_t openedKind = 9;
            HeldBytes opened;
            FUZZ_CHECK(OpenSealedBox(box, password, openedKind, opened) == SealStatus::Ok);
            FUZZ_CHECK(openedKind == kind && opened.view() == payload);
            FUZZ_CHECK(OpenSealedBox(box, password + "x", openedKind, opened) == SealStatus::Refused);
            FUZZ_CHECK(opened.empty());
        }
    }

    // The input as a box: never opens without the key that sealed it.
    std::string box = "MIRELBOX" + input;
    if (box.size() >= kCostAt + 16) {
        for (size_t k = 0; k < 16; ++k)
            box[kCostAt + k] = 0;
        box[kCostAt] = 1;                  // one pass
        box[kCostAt + 8 + 1] = 0x20;       // 8 KiB
    }
    uint8_t kind = 0;
    HeldBytes opened;
    FUZZ_CHECK(OpenSealedBox(box, "password", kind, opened) != SealStatus::Ok);
    return 0;
}
