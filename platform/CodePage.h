#pragma once

#include <string>
#include <string_view>

namespace mirel {

// The 8-bit code page of payloads, passwords and hidden file names: Windows-1252. Its five
// unassigned bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for U+0081, U+008D, U+008F, U+0090 and
// U+009D, so every byte value turns into a character and back unchanged. A character outside the
// table becomes '?'.

char16_t CharFromAnsi(unsigned char byte);
// The byte for a character, or '?' when the code page has none.
unsigned char AnsiFromChar(char32_t ch);

std::u16string Utf16FromAnsi(std::string_view bytes);
// A surrogate pair is one character: one '?'. When replaced is given it receives the number of
// characters that were replaced.
std::string AnsiFromUtf16(std::u16string_view text, size_t* replaced = nullptr);
// The characters of text that the code page has no byte for, each once, in order of appearance.
std::u16string CharactersWithoutCode(std::u16string_view text);

std::string Utf8FromAnsi(std::string_view bytes);
// Invalid UTF-8 sequences and characters outside the table become '?'. When replaced is given
// it receives the number of characters that were replaced.
std::string AnsiFromUtf8(std::string_view text, size_t* replaced = nullptr);

std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);
// True when text is valid UTF-8 (no stray, overlong or truncated sequences, no surrogates).
bool IsValidUtf8(std::string_view text);

// text in Unicode normalization form C (composed characters where Unicode has them). Every
// intermediate copy is wiped, so that it serves for passwords.
std::u16string NfcOf(std::u16string_view text);

}  // namespace mirel
