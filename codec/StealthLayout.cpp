#include "StealthLayout.h"

#include "Ui.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace mirel::stealth {

namespace {

constexpr char kSaltPositionsContext[] = "mirel.stealth.sp";
constexpr char kPermutationContext[] = "mirel.stealth.pm";
constexpr char kCipherContext[] = "mirel.stealth.ck";
static_assert(sizeof kSaltPositionsContext - 1 == crypto_generichash_blake2b_PERSONALBYTES);
static_assert(sizeof kPermutationContext - 1 == crypto_generichash_blake2b_PERSONALBYTES);
static_assert(sizeof kCipherContext - 1 == crypto_generichash_blake2b_PERSONALBYTES);

bool ready()
{
    static const bool started = sodium_init() >= 0;
    return started;
}

uint64_t mask(int bits)
{
    return bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
}

void hash(uint8_t* out, size_t size, std::string_view message, const uint8_t* key, size_t keySize,
          const char* personal)
{
    crypto_generichash_blake2b_salt_personal(out, size, reinterpret_cast<const unsigned char*>(message.data()),
                                             message.size(), key, keySize, nullptr,
                                             reinterpret_cast<const unsigned char*>(personal));
}

}  // namespace

Keys::~Keys()
{
    sodium_memzero(permutation.data(), permutation.size());
    sodium_memzero(cipher.data(), cipher.size());
}

bool SaltPositionsKey(std::string_view password, PermutationKey& key)
{
    if (!ready())
        return false;
    hash(key.data(), key.size(), password, nullptr, 0, kSaltPositionsContext);
    return true;
}

bool DeriveKeys(std::string_view password, const uint8_t* salt, const SealCost& cost, Keys& keys)
{
    if (!ready())
        return false;
    uint8_t master[kMasterKeySize];
    const auto derive = [&] {
        return crypto_pwhash(master, sizeof master, password.data(), password.size(), salt, cost.operations,
                             static_cast<size_t>(cost.memoryBytes), crypto_pwhash_ALG_ARGON2ID13) == 0;
    };
    // The derivation takes a second or so: the caller's window stays alive meanwhile.
    if (!WhileYielding(derive))
        return false;
    hash(keys.permutation.data(), keys.permutation.size(), {}, master, sizeof master, kPermutationContext);
    hash(keys.cipher.data(), keys.cipher.size(), {}, master, sizeof master, kCipherContext);
    sodium_memzero(master, sizeof master);
    return true;
}

Permutation::Permutation(const PermutationKey& key, int64_t n, bool tabulate)
    : m_key(key), m_n(static_cast<uint64_t>(n))
{
    int bits = 0;
    while ((uint64_t(1) << bits) < m_n)
        ++bits;
    m_leftBits = bits / 2;
    m_rightBits = bits - m_leftBits;
    if (!tabulate)
        return;
    for (int j = 0; j < kFeistelRounds; ++j) {
        // Even rounds take the right half of r bits into the left of l, odd rounds the other way.
        const int takes = j % 2 == 0 ? m_rightBits : m_leftBits;
        const int gives = j % 2 == 0 ? m_leftBits : m_rightBits;
        std::vector<uint32_t>& table = m_tables[size_t(j)];
        table.resize(size_t(1) << takes);
        for (uint64_t right = 0; right < table.size(); ++right)
            table[right] = static_cast<uint32_t>(round(j, right, gives));
    }
}

Permutation::~Permutation()
{
    sodium_memzero(m_key.data(), m_key.size());
    for (auto& table : m_tables) {
        if (!table.empty())
            sodium_memzero(table.data(), table.size() * sizeof table[0]);
    }
}

uint64_t Permutation::round(int j, uint64_t right, int leftBits) const
{
    uint8_t in[8];
    uint8_t out[8];
    for (int k = 0; k < 8; ++k)
        in[k] = static_cast<uint8_t>(right >> (8 * k));
    crypto_shorthash_siphash24(out, in, sizeof in, m_key.data() + kRoundKeySize * size_t(j));
    uint64_t f = 0;
    for (int k = 7; k >= 0; --k)
        f = (f << 8) | out[k];
    return f & mask(leftBits);
}

uint64_t Permutation::encipher(uint64_t x) const
{
    uint64_t left = x >> m_rightBits;
    uint64_t right = x & mask(m_rightBits);
    int leftBits = m_leftBits;
    int rightBits = m_rightBits;
    for (int j = 0; j < kFeistelRounds; ++j) {
        const std::vector<uint32_t>& table = m_tables[size_t(j)];
        const uint64_t f = table.empty() ? round(j, right, leftBits) : table[right];
        const uint64_t newRight = left ^ f;
        left = right;
        right = newRight;
        std::swap(leftBits, rightBits);
    }
    return (left << m_rightBits) | right;
}

int64_t Permutation::operator()(int64_t x) const
{
    // Cycle walking: x lies on a cycle of E that comes back below n.
    uint64_t y = encipher(static_cast<uint64_t>(x));
    while (y >= m_n)
        y = encipher(y);
    return static_cast<int64_t>(y);
}

std::vector<int64_t> SaltPositions(const Permutation& salt)
{
    std::vector<int64_t> positions(static_cast<size_t>(kStealthSaltSlots));
    for (int64_t j = 0; j < kStealthSaltSlots; ++j)
        positions[static_cast<size_t>(j)] = salt(j);
    return positions;
}

Slots::Slots(const Permutation& main, int64_t n, const std::vector<int64_t>& saltPositions)
    : m_main(main), m_salt(saltPositions), m_filter((size_t(1) << kFilterBits) / 64)
{
    std::sort(m_salt.begin(), m_salt.end());
    while (((n - 1) >> m_shift) >= (int64_t(1) << kFilterBits))
        ++m_shift;
    for (const int64_t position : m_salt) {
        const uint64_t run = uint64_t(position) >> m_shift;
        m_filter[run / 64] |= uint64_t(1) << (run % 64);
    }
}

int64_t Slots::next()
{
    for (;;) {
        const int64_t position = m_main(m_next++);
        const uint64_t run = uint64_t(position) >> m_shift;
        if (!((m_filter[run / 64] >> (run % 64)) & 1) ||
            !std::binary_search(m_salt.begin(), m_salt.end(), position))
            return position;
    }
}

Choices::Choices(const std::array<uint8_t, kStealthSeedSize>& seed) : m_seed(seed) {}

Choices::~Choices()
{
    sodium_memzero(m_seed.data(), m_seed.size());
    sodium_memzero(m_buffer.data(), m_buffer.size());
}

bool Choices::bit()
{
    if (m_bit == 8 * m_buffer.size()) {
        uint8_t nonce[crypto_stream_chacha20_ietf_NONCEBYTES] = {};
        for (int k = 0; k < 8; ++k)
            nonce[k] = static_cast<uint8_t>(m_block >> (8 * k));
        ++m_block;
        crypto_stream_chacha20_ietf(m_buffer.data(), m_buffer.size(), nonce, m_seed.data());
        m_bit = 0;
    }
    const bool value = (m_buffer[m_bit / 8] >> (m_bit % 8)) & 1;
    ++m_bit;
    return value;
}

unsigned BlockSyndrome(const StealthCover& cover, const int64_t* positions, int k)
{
    const unsigned n = (1u << k) - 1;
    unsigned syndrome = 0;
    for (unsigned t = 1; t <= n; ++t)
        syndrome ^= t & (0u - (cover.bytes[positions[t - 1]] & 1u));  // without a branch: the bits are random
    return syndrome;
}

namespace {

constexpr float kSaturatedCost = 4.0f;  // 0 and 255 move one way only, and fill flat areas
constexpr float kPairCost = 0.5f;       // what a second change costs besides its place: few pairs
constexpr int64_t kPixelBytes = 3;

// What changing the cover byte at i costs: little where its neighbours in its channel differ
// from it, 1 where they are all alike.
float changeCost(const StealthCover& cover, int64_t i)
{
    const int value = cover.bytes[i];
    if (value == 0 || value == 255)
        return kSaturatedCost;
    if (cover.rowBytes <= 0)
        return 1.0f;
    const int64_t column = i % cover.rowBytes;
    int texture = 0;
    if (column >= kPixelBytes)
        texture += std::abs(value - cover.bytes[i - kPixelBytes]);
    if (column + kPixelBytes < cover.rowBytes)
        texture += std::abs(value - cover.bytes[i + kPixelBytes]);
    if (i >= cover.rowBytes)
        texture += std::abs(value - cover.bytes[i - cover.rowBytes]);
    if (i + cover.rowBytes < cover.size)
        texture += std::abs(value - cover.bytes[i + cover.rowBytes]);
    return 1.0f / float(1 + texture);
}

void change(uint8_t& byte, Choices& choices)
{
    // Plus or minus 1 at random; the ends move inward.
    const bool up = byte == 0 || (byte != 255 && choices.bit());
    byte = static_cast<uint8_t>(up ? byte + 1 : byte - 1);
}

}  // namespace

void EmbedBlock(const StealthCover& cover, const int64_t* positions, int k, unsigned m, Choices& choices)
{
    const unsigned s = BlockSyndrome(cover, positions, k) ^ m;
    if (s == 0)
        return;
    const unsigned n = (1u << k) - 1;
    // One change at s, or two at a and a xor s (every pair once: a below its partner). No pair
    // can do better than a byte in texture: the other bytes are weighed only for one in a flat area.
    unsigned first = s;
    unsigned second = 0;
    float best = changeCost(cover, positions[s - 1]) - kPairCost;
    if (best > 0) {
        std::array<float, 1u << kStealthMostCode> cost;
        for (unsigned t = 1; t <= n; ++t)
            cost[t] = changeCost(cover, positions[t - 1]);
        for (unsigned a = 1; a <= n; ++a) {
            const unsigned b = a ^ s;
            if (a < b && cost[a] + cost[b] < best) {
                best = cost[a] + cost[b];
                first = a;
                second = b;
            }
        }
    }
    change(cover.bytes[positions[first - 1]], choices);
    if (second != 0)
        change(cover.bytes[positions[second - 1]], choices);
}

}  // namespace mirel::stealth
