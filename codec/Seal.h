#pragma once

// Sealed payloads: strong, authenticated encryption of what is hidden, so that a wrong password
// is known for certain and every guess costs a memory-hard key derivation.
//
// A sealed box travels as the data of an ordinary file payload (Payload.h) named "sealed.mirel",
// and is never also enciphered with RC4: a program that knows only the plain format hands it back
// intact, as a file that can be opened later.
//
//   offset  size    field
//   0       8       magic "MIRELBOX"
//   8       1       version, 1
//   9       1       flags: bit 0 set when the inside is deflated (zlib), bit 1 set when it is
//                   padded (libsodium's ISO/IEC 7816-4 padding to a multiple of 256 bytes, so that
//                   the box tells the length of what it holds only to that block); other bits 0
//   10      8       Argon2id operations limit, little-endian
//   18      8       Argon2id memory limit in bytes, little-endian
//   26      16      salt of the key derivation, random
//   42      24      nonce, random
//   66      n + 16  the inside, enciphered and authenticated with XChaCha20-Poly1305 (IETF), its
//                   32-byte key derived by Argon2id (version 1.3) from the password's UTF-8 bytes,
//                   salt and limits above; bytes 0 to 65 are its associated data; the last 16
//                   bytes are the tag
//
// The inside:
//
//   0       1       kind: 0 message, 1 file
//   1       4       length of the payload, little-endian
//   5       ...     the payload of that kind (Payload.h), deflated when the flag says so
//   ...             the padding, when the flag says so
//
// A box is opened only when its key derivation stays within what this program allows: at most
// 1 GiB of memory, and passes times memory at most 4 times that of the cost every new seal is
// made with (3 passes over 256 MiB). Anything above is refused before the password is used, so
// that a picture cannot make its reader spend minutes or gigabytes. A box of another version, or
// with flags this program does not know, is refused as made by a newer one. The password is
// taken in Unicode normalization form C, so that the same password typed on another system opens
// the box; boxes sealed with a password as typed open too.
//
// What a seal does not hide: that the picture holds something, its length and where it starts;
// the picture's statistics change as with any hiding.

#include "ErrorCode.h"
#include "HeldBytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mirel {

inline constexpr char kSealedName[] = "sealed.mirel";
inline constexpr size_t kSealHeaderSize = 66;

enum class SealStatus {
    Ok,
    NotSealed,    // the bytes hold no sealed box
    Refused,      // wrong password, or a changed byte: the box does not open
    TooCostly,    // the box asks for more memory or work than this program gives a key derivation
    Newer,        // a version or flags of a newer program
    Unavailable,  // the encryption library cannot start
    Failed,       // no memory for the key derivation
    NoRoom,       // the temporary folder cannot take what the box holds
};

// The one message for a box that does not open.
inline constexpr char kSealRefusedText[] = "The password is wrong, or the picture was changed.";

// What one key derivation costs, for sealing and as read from a box.
struct SealCost {
    uint64_t operations = 0;
    uint64_t memoryBytes = 0;
};
// The cost every new seal is made with: libsodium's "moderate" Argon2id limits.
SealCost DefaultSealCost();

// Seals kind and payload with password (UTF-8, not empty) into box, with a fresh salt and nonce:
// two seals of the same input differ. The inside is deflated when that makes it smaller. Every
// guess at the password costs a key derivation of cost (stored in the box).
SealStatus SealPayload(uint8_t kind, std::string_view payload, std::string_view password, std::string& box,
                       const SealCost& cost = DefaultSealCost());

// The same with the password as typed: sealed with the UTF-8 bytes of its normalization form C,
// opened with those, or, when they differ and do not open it, with the bytes as typed. Every
// copy of the password is wiped after use.
SealStatus SealPayload(uint8_t kind, std::string_view payload, std::u16string_view password, std::string& box,
                       const SealCost& cost = DefaultSealCost());
SealStatus OpenSealedBox(std::string_view box, std::u16string_view password, uint8_t& kind, HeldBytes& payload);

// True when bytes start like a sealed box (its magic).
bool IsSealedBox(std::string_view bytes);

// The sealed box that a decoded payload carries, as stored in the picture: the data of its file
// payload when that is named "sealed.mirel" or starts like a box. False when it carries none.
bool FindSealedBox(std::string_view storedPayload, std::string& box);

// Opens box with password into kind and payload. TooCostly or Newer before the password is used;
// Refused for a wrong password or any changed byte, or an inside longer than it says; nothing is
// handed back then. The inside is inflated a slice at a time, never past its stated length, into
// payload, which holds it aside in a file when it is large; NoRoom when it cannot be held.
SealStatus OpenSealedBox(std::string_view box, std::string_view password, uint8_t& kind, HeldBytes& payload);

// Overwrites text's characters before it is emptied, in a way the compiler keeps.
void Wipe(std::string& text);
void Wipe(std::u16string& text);

}  // namespace mirel
