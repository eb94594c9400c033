#pragma once

// The pieces of the stealth layout (Stealth.h) that the encoder and the decoder share: the keys,
// the keyed permutations of the cover and the walk over the slots, the random choices of the
// encoder, and one Hamming block in and out.

#include "Stealth.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mirel::stealth {

inline constexpr size_t kPermutationKeySize = 64;
inline constexpr size_t kCipherKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
inline constexpr size_t kMasterKeySize = 64;
inline constexpr int kFeistelRounds = 4;
inline constexpr size_t kRoundKeySize = crypto_shorthash_siphash24_KEYBYTES;
static_assert(kFeistelRounds * kRoundKeySize == kPermutationKeySize);

using PermutationKey = std::array<uint8_t, kPermutationKeySize>;

// The keys that come from the password and the salt. Wiped when they go.
struct Keys {
    PermutationKey permutation {};
    std::array<uint8_t, kCipherKeySize> cipher {};
    ~Keys();
};

// The salt positions key of password. False when libsodium cannot start.
bool SaltPositionsKey(std::string_view password, PermutationKey& key);
// The permutation and cipher keys for password and salt at cost. False when the key derivation
// cannot run (memory). The derivation runs on a thread of its own while the caller's yields.
bool DeriveKeys(std::string_view password, const uint8_t* salt, const SealCost& cost, Keys& keys);

// The keyed permutation of 0..n-1 (n >= 1): a Feistel network with cycle walking. tabulate works
// the round function out once for every value of the half it takes (four tables of at most 2^18
// entries), so that walking much of a large cover costs table lookups instead of hashes.
class Permutation {
public:
    Permutation(const PermutationKey& key, int64_t n, bool tabulate = false);
    ~Permutation();
    Permutation(const Permutation&) = delete;
    Permutation& operator=(const Permutation&) = delete;
    int64_t operator()(int64_t x) const;

private:
    uint64_t round(int j, uint64_t right, int leftBits) const;
    uint64_t encipher(uint64_t x) const;

    PermutationKey m_key;
    uint64_t m_n;
    int m_leftBits;
    int m_rightBits;
    std::array<std::vector<uint32_t>, kFeistelRounds> m_tables;
};

// The salt's cover bytes, in order: Ps(0), ..., Ps(kStealthSaltSlots - 1).
std::vector<int64_t> SaltPositions(const Permutation& salt);

// The slots: the cover bytes Pm(0), Pm(1), ... that are none of the salt's.
class Slots {
public:
    Slots(const Permutation& main, int64_t n, const std::vector<int64_t>& saltPositions);
    int64_t next();

private:
    static constexpr int kFilterBits = 16;

    const Permutation& m_main;
    std::vector<int64_t> m_salt;  // sorted
    // One bit for each run of 2^m_shift cover bytes that holds a salt byte: most slots are told
    // apart from the salt without a search.
    std::vector<uint64_t> m_filter;
    int m_shift = 0;
    int64_t m_next = 0;
};

// The encoder's random choices, from a seed: plus or minus 1, and the fill bits.
class Choices {
public:
    explicit Choices(const std::array<uint8_t, kStealthSeedSize>& seed);
    ~Choices();
    bool bit();

private:
    std::array<uint8_t, kStealthSeedSize> m_seed;
    std::array<uint8_t, 512> m_buffer {};
    uint64_t m_block = 0;
    size_t m_bit = 8 * 512;
};

// Hides the k-bit value m in the n = 2^k - 1 cover bytes at positions: changes nothing, one byte,
// or two where those two show less than the one (Stealth.h).
void EmbedBlock(const StealthCover& cover, const int64_t* positions, int k, unsigned m, Choices& choices);
// The k-bit value that the n = 2^k - 1 cover bytes at positions hold.
unsigned BlockSyndrome(const StealthCover& cover, const int64_t* positions, int k);

// The number of blocks that bits take with code k.
inline int64_t BlocksFor(int64_t bits, int k)
{
    return (bits + k - 1) / k;
}

}  // namespace mirel::stealth
