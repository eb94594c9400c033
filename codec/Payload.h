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

// The parts of a file payload, seen where they are in it (valid while the payload is).
struct FilePayload {
    std::string_view name;  // as stored: it comes from the picture and may hold anything
    std::string_view data;
};

// Takes a deciphered file payload apart into file: the name is the n bytes after the first, the
// data everything after them. False when the payload is empty or its name runs past its end,
// which only a wrong password or offset (or a damaged picture) gives.
bool SplitFilePayload(std::string_view payload, FilePayload& file);

// The bytes that must never reach a terminal or a file name as they are: those below 0x20, 0x7F,
// and the five bytes that stand for control characters (0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool IsControlByte(unsigned char byte);

// The stored name of a hidden file as a name to save it under: its last component
// (FileNameFromPath), with every control byte replaced by '_'. Empty when nothing usable is left:
// no name, or one of nothing but control bytes and dots.
std::string SafeFileName(std::string_view storedName);

// bytes with every control byte written as \xNN (and '\' as \\), for a message.
std::string Printable(std::string_view bytes);

// True when bytes look like text in the 8-bit code page rather than the random bytes that a wrong
// password or offset gives: control bytes (tab and line breaks aside) weigh three, other bytes
// from 0x80 on one, and text stays under three tenths of its length.
bool LooksLikeText(std::string_view bytes);
// True when a stored name looks like the product of a wrong password or offset: it holds a
// control byte, is not text, or has no usable name in it.
bool LooksGarbledName(std::string_view storedName);

// Enciphers or deciphers payload with password (the same call does both); the payload unchanged
// when the password is empty. Characters of the password without an 8-bit code count as '?'.
std::string CryptPayload(std::string_view payload, std::u16string_view password);

}  // namespace mirel
