#pragma once

// What the hidden stream's payload holds, before the encoder hides it and after the decoder has
// got it back.
//
// A message payload is the text's bytes in the 8-bit code page (CodePage.h). A file payload is
//
//   offset  size  field
//   0       1     n, the length of the name in bytes (0 to 255)
//   1       n     the file's name without folders, in the 8-bit code page
//   1 + n   rest  the file's bytes
//
// With a password the whole payload is enciphered with RC4 keyed by the password's 8-bit codes
// (VBEncrypt.h); the kind travels outside it, in the picture itself.

#include <cstddef>
#include <string>
#include <string_view>

namespace mirel {

inline constexpr size_t kMaxNameBytes = 255;

// The file payload for name (8-bit bytes; only its first 255 count) and data.
std::string FrameFilePayload(std::string_view name, std::string_view data);

struct FilePayload {
    std::string name;  // as stored: it comes from the picture and may hold anything
    std::string data;
};

// Takes a deciphered file payload apart: the name is the n bytes after the first (fewer when the
// payload ends sooner), the data everything after them (empty when there is nothing).
FilePayload SplitFilePayload(std::string_view payload);

// Enciphers or deciphers payload with password (the same call does both); the payload unchanged
// when the password is empty. Characters of the password without an 8-bit code count as '?'.
std::string CryptPayload(std::string_view payload, std::u16string_view password);

}  // namespace mirel
