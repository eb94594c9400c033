#pragma once

#include <cstdint>
#include <string>

namespace mirel {

// The settings asked for before each run, alive for the whole program run and never stored.
// They live here, below every module that reads them: the codec counts gOffset down, the
// settings window and mirel-cli fill them.

// The password; empty means no encryption. Held as typed; the cipher takes its 8-bit codes.
extern std::u16string gPassword;
// Groups of nine pixel bytes to pass over before the hidden stream starts.
extern int32_t gOffset;

}  // namespace mirel
