#pragma once

// The stealth layout: what is hidden is spread over every pixel byte of the picture in places only
// the password finds, with nothing at a fixed place and nothing in clear, and with fewer changes
// than hidden bits. A wrong password is known for certain. Lossless pictures only, as always.
//
// The cover
// ---------
// The picture is the plain bitmap of its pixels (CipherMirel.h). Its cover is every pixel byte,
// all channels, all rows: N = width * 3 * height bytes, numbered from 0 in file order (row after
// row from byte 54, within a row from its first byte); padding is not part of it. Cover byte i lies
// at file offset 54 + (i / (width * 3)) * stride + (i mod (width * 3)).
//
// A byte carries one bit, its lowest. A byte is changed by adding or subtracting 1, chosen at
// random for each change (0 only goes up, 255 only down): LSB matching, never replacement.
//
// Keys
// ----
// All hashes are BLAKE2b (RFC 7693) with a 16-byte personalisation and no salt, as libsodium's
// crypto_generichash_blake2b_salt_personal computes them. The password is the UTF-8 bytes of its
// Unicode normalization form C (a password that is not valid UTF-8: its bytes as they are), so
// that the same password typed on another system, composed or not, opens the picture. A reader
// that finds nothing with those and was given other bytes tries the bytes as typed as well.
//
//   salt positions key  64 bytes  BLAKE2b(message = password, no key, personal "mirel.stealth.sp")
//   master key          64 bytes  Argon2id, version 1.3 (crypto_pwhash), of the password with the
//                                 16-byte salt below, at the sealing cost (Seal.h, DefaultSealCost:
//                                 libsodium's "moderate" limits, 3 operations and 256 MiB)
//   permutation key     64 bytes  BLAKE2b(empty message, key = master key, personal "mirel.stealth.pm")
//   cipher key          32 bytes  BLAKE2b(empty message, key = master key, personal "mirel.stealth.ck")
//
// Permutations
// ------------
// A 64-byte key makes a permutation P of 0..N-1. Let b be the smallest number with 2^b >= N,
// l = floor(b / 2) and r = b - l. E, a four-round Feistel network on b-bit numbers, takes x as
// L = x >> r (l bits) and R = x mod 2^r (r bits); round j = 0..3 computes
//   f = SipHash-2-4(key bytes 16j..16j+15, the 8 little-endian bytes of R), read little-endian,
//   (L, R) = (R, L xor (f mod 2^(bits of L)))
// so that the halves swap their widths each round and are back to l and r bits after round 3;
// E(x) = (L << r) | R. P(x) walks the cycle: y = E(x); while y >= N: y = E(y).
//
//   salt permutation  Ps, keyed with the salt positions key
//   main permutation  Pm, keyed with the permutation key
//
// Matrix embedding
// ----------------
// Bits go in with the Hamming code of parameter k (1..10): a block of n = 2^k - 1 cover bytes
// c[1..n] holds k bits m = m0 + 2 m1 + ... + 2^(k-1) m(k-1) as its syndrome, the xor of every
// index t (1..n) whose byte c[t] has its lowest bit set. To hide m, with s = syndrome xor m not 0,
// the encoder changes c[s], or two bytes c[a] and c[a xor s] instead when they lie where a change
// shows less: a reader sees only the syndrome. (This encoder weighs a change by the byte's
// neighbours in its channel: 1 / (1 + the sum of its differences to the bytes left, right, above
// and below), and 4 for a byte of 0 or 255; it takes the cheapest pair when the pair's two weights
// add up to less than the one byte's less 0.5.) A bit string is cut into k-bit pieces, first bit
// lowest; the bits of a byte string are taken lowest bit of each byte first; the last piece is
// filled up with random bits.
//
// Where everything lies
// ---------------------
//   salt    16 random bytes with k = 4, in the 480 cover bytes Ps(0), ..., Ps(479), 15 to a block
//   slots   Pm(0), Pm(1), ... leaving out the 480 bytes of the salt: N - 480 cover bytes
//   header  22 bytes with k = 4, in slots 0..659
//   body    L + 16 bytes with the body's k, in the ceil(8 (L + 16) / k) * (2^k - 1) slots from 660
//
// The header and the body are enciphered and authenticated with XChaCha20-Poly1305 (IETF) and the
// cipher key, without associated data; the last 16 bytes of each are its tag.
//
//   header  nonce 24 bytes of 0; inside, 6 bytes:
//             0  1  k of the body, 1..10: the largest that leaves room for the body
//             1  1  kind: 0 message, 1 file
//             2  4  L, the payload's length, little-endian
//   body    nonce 1 followed by 23 bytes of 0; inside, the payload of that kind (Payload.h)
//
// The payload can hold up to floor((N - 1140) / 8) - 16 bytes (k = 1); smaller ones get a larger k
// and change fewer bytes. A reader takes the salt, derives the keys, opens the header, checks that
// k is 1..10, the kind 0 or 1 and the body within the slots, and opens the body; anything else is
// a wrong password or a changed picture.

#include "CipherMirel.h"
#include "Seal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mirel {

inline constexpr size_t kStealthSaltSize = 16;
inline constexpr size_t kStealthSeedSize = 32;
inline constexpr int kStealthSaltCode = 4;    // k of the salt
inline constexpr int kStealthHeaderCode = 4;  // k of the header
inline constexpr int kStealthMostCode = 10;   // the largest k of a body
inline constexpr int64_t kStealthSaltSlots = 480;
inline constexpr size_t kStealthHeaderInside = 6;
inline constexpr size_t kStealthTagSize = 16;
inline constexpr size_t kStealthHeaderSize = kStealthHeaderInside + kStealthTagSize;
inline constexpr int64_t kStealthHeaderSlots = 660;

enum class StealthStatus {
    Ok,
    TooLarge,   // the payload does not fit the picture
    Refused,    // no stealth payload opens with this password: wrong password or a changed picture
    Failed,     // no memory for the key derivation or the picture, or a library that cannot start
};

// What the encoder may be told beyond the password: for tests, a fixed salt and a fixed seed of
// the random choices (plus or minus 1, the fill bits), so that the result is known; and the cost
// of the key derivation, which only tests and fuzzers lower (a picture does not say what it is).
struct StealthChoices {
    std::optional<std::array<uint8_t, kStealthSaltSize>> salt;
    std::optional<std::array<uint8_t, kStealthSeedSize>> seed;
    SealCost cost = DefaultSealCost();
};

// The most payload bytes that the stealth layout puts in N cover bytes; 0 when none.
int64_t StealthCapacity(int64_t coverBytes);
// The same for a picture of this geometry.
int64_t StealthCapacity(const RowGeometry& geometry);

// The cover bytes of a picture in memory, in order, without padding. Owns nothing. rowBytes (the
// bytes of one row, width * 3) lets the encoder see each byte's neighbours; 0 when unknown.
struct StealthCover {
    uint8_t* bytes = nullptr;
    int64_t size = 0;
    int64_t rowBytes = 0;
};

// Hides kind and payload in cover with password (UTF-8, not empty; taken composed, as above). TooLarge, with cover
// untouched, when the payload is over StealthCapacity; Failed when the key derivation cannot run.
// Yields now and then; stops, with cover partly changed, when gAbort is set (aborted tells).
StealthStatus EmbedStealth(const StealthCover& cover, uint8_t kind, std::string_view payload, std::string_view password,
                           const StealthChoices& choices, bool& aborted);

// Reads a stealth payload from cover with password (UTF-8): composed, then, when that differs and
// opens nothing, as typed. Ok with kind and payload; Refused when none opens with it; Failed when
// the key derivation cannot run. Nothing is handed back unless Ok.
// Yields now and then and stops, Refused and aborted set, when gAbort is set.
StealthStatus ExtractStealth(const StealthCover& cover, std::string_view password, const SealCost& cost,
                             uint8_t& kind, std::string& payload, bool& aborted);

// The encoder on files: a copy of the plain bitmap in source (open at its first byte) with kind
// and payload hidden in the stealth layout, written through destination as HidePayloadInto does,
// and checked to read back as written. Holds the picture in memory. Refused when the source is not
// a bitmap, the password is empty or the payload does not fit (with the most bytes that do);
// Failed on reading, writing or memory; Aborted, silently, when gAbort was set.
CodecResult HideStealthInto(BinaryFile& source, const DestinationFn& destination, std::string_view payload,
                            uint8_t kind, std::string_view password, const StealthChoices& choices = {});
// HideStealthInto with the new picture written at destinationPath as a plain bitmap, put in place
// only once complete and checked.
CodecResult HideStealthAt(BinaryFile& source, const std::string& destinationPath, std::string_view payload,
                          uint8_t kind, std::string_view password, const StealthChoices& choices = {});

// The decoder on a picture that CheckPicture accepted (file anywhere: it is read from byte 54).
// Ok with kind and payload when a stealth payload opens with password; Refused, with the message
// of a wrong password, when none does; Failed when the picture cannot be read or held; Aborted,
// silently, when gAbort was set.
CodecResult RevealStealthFrom(BinaryFile& file, const BitmapHeader& header, std::string_view password,
                              const SealCost& cost = DefaultSealCost());

// True when the plain format at offset 0 of the picture in file holds a sealed box (Seal.h), told
// from its first stream bytes alone: such a picture holds no stealth payload, and a program that
// tries the stealth layout first is spared its key derivation and its pass over the picture.
// Leaves the file just after the header; false when the picture cannot be read.
bool HoldsSealedBoxAtStart(BinaryFile& file, const BitmapHeader& header);

}  // namespace mirel
