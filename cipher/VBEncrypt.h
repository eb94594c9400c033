#pragma once

#include <string>
#include <string_view>

namespace mirel {

// Enciphers or deciphers text with RC4 keyed by the password's bytes; the same call undoes
// itself. Both are byte strings in the 8-bit code page (see CodePage.h): a character is its byte.
//
// Returns a string exactly as long as text, which may hold any byte value, NUL included.
// An empty password returns the empty string, not the text: callers that want the text unchanged
// without a password test the password themselves. Of a password longer than 256 bytes only the
// first 256 count. The keystream starts afresh at every call, so equal inputs give equal outputs.
// Not reentrant: one call at a time.
std::string CryptString(std::string_view text, std::string_view password);

}  // namespace mirel
