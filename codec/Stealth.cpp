// The stealth layout in memory: the salt, the header and the body into and out of the cover.
#include "Stealth.h"

#include "CodePage.h"
#include "StealthLayout.h"
#include "Ui.h"

#include <sodium.h>

#include <algorithm>
#include <limits>
#include <new>

namespace mirel {

using namespace stealth;

namespace {

constexpr int64_t kFixedSlots = kStealthSaltSlots + kStealthHeaderSlots;
constexpr int64_t kSlotsBetweenYields = int64_t(1) << 20;
constexpr size_t kHeaderCodeAt = 0;
constexpr size_t kHeaderKindAt = 1;
constexpr size_t kHeaderLengthAt = 2;
constexpr uint8_t kBodyNonceFirstByte = 1;
static_assert(kStealthSaltSlots == 8 * int64_t(kStealthSaltSize) / kStealthSaltCode * ((1 << kStealthSaltCode) - 1));
static_assert(kStealthHeaderSlots ==
              8 * int64_t(kStealthHeaderSize) / kStealthHeaderCode * ((1 << kStealthHeaderCode) - 1));
static_assert(kStealthTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);

// The slots the body takes with code k.
int64_t bodySlots(int64_t length, int k)
{
    return BlocksFor(8 * (length + int64_t(kStealthTagSize)), k) * ((int64_t(1) << k) - 1);
}

// The largest code that leaves room for a body of length bytes in coverBytes; 0 when none does.
int bodyCode(int64_t coverBytes, int64_t length)
{
    for (int k = kStealthMostCode; k >= 1; --k) {
        if (bodySlots(length, k) <= coverBytes - kFixedSlots)
            return k;
    }
    return 0;
}

// Yields after every so many slots; false once the user has aborted.
class Pacer {
public:
    bool passed(int64_t slots)
    {
        m_count += slots;
        if (m_count < kSlotsBetweenYields)
            return true;
        m_count = 0;
        Yield();
        return !gAbort;
    }

private:
    int64_t m_count = 0;
};

// The positions of the next block's slots. Each byte is asked for as soon as its place is known:
// they lie anywhere in the picture, and the permutation has work to do meanwhile.
void fill(const StealthCover& cover, Slots& slots, std::vector<int64_t>& positions)
{
    for (auto& position : positions) {
        position = slots.next();
        __builtin_prefetch(cover.bytes + position);
    }
}

// Hides bytes with code k in the slots that come next. False when the user aborted.
bool embedBytes(const StealthCover& cover, Slots& slots, std::string_view bytes, int k, Choices& choices,
                Pacer& pacer)
{
    const int64_t n = (int64_t(1) << k) - 1;
    const int64_t bits = 8 * int64_t(bytes.size());
    std::vector<int64_t> positions(static_cast<size_t>(n));
    for (int64_t first = 0; first < bits; first += k) {
        unsigned m = 0;
        for (int u = 0; u < k; ++u) {
            const int64_t bit = first + u;
            const bool value = bit < bits ? (static_cast<uint8_t>(bytes[size_t(bit / 8)]) >> (bit % 8)) & 1
                                          : choices.bit();
            m |= unsigned(value) << u;
        }
        fill(cover, slots, positions);
        EmbedBlock(cover, positions.data(), k, m, choices);
        if (!pacer.passed(n))
            return false;
    }
    return true;
}

// Reads count bytes hidden with code k from the slots that come next. False when the user aborted.
bool readBytes(const StealthCover& cover, Slots& slots, size_t count, int k, std::string& bytes, Pacer& pacer)
{
    const int64_t n = (int64_t(1) << k) - 1;
    const int64_t bits = 8 * int64_t(count);
    bytes.assign(count, '\0');
    std::vector<int64_t> positions(static_cast<size_t>(n));
    for (int64_t first = 0; first < bits; first += k) {
        fill(cover, slots, positions);
        const unsigned m = BlockSyndrome(cover, positions.data(), k);
        for (int u = 0; u < k && first + u < bits; ++u) {
            const int64_t bit = first + u;
            bytes[size_t(bit / 8)] = static_cast<char>(bytes[size_t(bit / 8)] | (((m >> u) & 1) << (bit % 8)));
        }
        if (!pacer.passed(n))
            return false;
    }
    return true;
}

void seal(std::string_view inside, uint8_t nonceFirstByte, const Keys& keys, std::string& sealed)
{
    uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES] = {nonceFirstByte};
    sealed.assign(inside.size() + kStealthTagSize, '\0');
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()), nullptr,
                                               reinterpret_cast<const unsigned char*>(inside.data()), inside.size(),
                                               nullptr, 0, nullptr, nonce, keys.cipher.data());
}

bool open(std::string_view sealed, uint8_t nonceFirstByte, const Keys& keys, std::string& inside)
{
    uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES] = {nonceFirstByte};
    inside.assign(sealed.size() - kStealthTagSize, '\0');
    return crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(inside.data()), nullptr,
                                                      nullptr, reinterpret_cast<const unsigned char*>(sealed.data()),
                                                      sealed.size(), nullptr, 0, nonce, keys.cipher.data()) == 0;
}

// The salt's cover bytes for password; empty when libsodium cannot start.
std::vector<int64_t> saltPositionsFor(int64_t coverBytes, std::string_view password)
{
    PermutationKey key;
    if (!SaltPositionsKey(password, key))
        return {};
    const Permutation salt(key, coverBytes);
    sodium_memzero(key.data(), key.size());
    return SaltPositions(salt);
}

// The password as the layout takes it: the UTF-8 bytes of its normalization form C, so that the
// same password typed on another system opens the picture; bytes that are not UTF-8 as they are.
std::string composedPassword(std::string_view password)
{
    if (!IsValidUtf8(password))
        return std::string(password);
    std::u16string typed = Utf16FromUtf8(password);
    std::u16string composed = NfcOf(typed);
    std::string key = Utf8FromUtf16(composed);
    Wipe(typed);
    Wipe(composed);
    return key;
}

std::string headerInside(int k, uint8_t kind, int64_t length)
{
    std::string inside(kStealthHeaderInside, '\0');
    inside[kHeaderCodeAt] = static_cast<char>(k);
    inside[kHeaderKindAt] = static_cast<char>(kind);
    for (int b = 0; b < 4; ++b)
        inside[kHeaderLengthAt + size_t(b)] = static_cast<char>((length >> (8 * b)) & 0xFF);
    return inside;
}

}  // namespace

int64_t StealthCapacity(int64_t coverBytes)
{
    const int64_t most = (coverBytes - kFixedSlots) / 8 - int64_t(kStealthTagSize);
    return std::clamp<int64_t>(most, 0, std::numeric_limits<int32_t>::max());
}

int64_t StealthCapacity(const RowGeometry& geometry)
{
    // A header may announce more bytes than 64 bits count; no such picture is read anyway.
    if (geometry.dataBytes <= 0 || geometry.rows <= 0 ||
        geometry.dataBytes > std::numeric_limits<int64_t>::max() / geometry.rows)
        return 0;
    return StealthCapacity(geometry.dataBytes * geometry.rows);
}

StealthStatus EmbedStealth(const StealthCover& cover, uint8_t kind, std::string_view payload, std::string_view password,
                           const StealthChoices& choices, bool& aborted)
{
    aborted = false;
    const int64_t length = static_cast<int64_t>(payload.size());
    const int k = length <= StealthCapacity(cover.size) ? bodyCode(cover.size, length) : 0;
    if (k == 0)
        return StealthStatus::TooLarge;
    std::array<uint8_t, kStealthSaltSize> salt {};
    std::array<uint8_t, kStealthSeedSize> seed {};
    if (password.empty() || sodium_init() < 0)
        return StealthStatus::Failed;
    if (choices.salt)
        salt = *choices.salt;
    else
        randombytes_buf(salt.data(), salt.size());
    if (choices.seed)
        seed = *choices.seed;
    else
        randombytes_buf(seed.data(), seed.size());
    Choices random(seed);
    sodium_memzero(seed.data(), seed.size());

    Keys keys;
    std::vector<int64_t> saltPositions;
    std::string header;
    std::string body;
    try {
        std::string composed = composedPassword(password);
        saltPositions = saltPositionsFor(cover.size, composed);
        const bool derived = !saltPositions.empty() && DeriveKeys(composed, salt.data(), choices.cost, keys);
        Wipe(composed);
        if (!derived)
            return StealthStatus::Failed;
        if ((aborted = gAbort))
            return StealthStatus::Ok;
        seal(headerInside(k, kind, length), 0, keys, header);
        seal(payload, kBodyNonceFirstByte, keys, body);
    } catch (const std::bad_alloc&) {
        return StealthStatus::Failed;
    }
    const int64_t saltBlockSize = (int64_t(1) << kStealthSaltCode) - 1;
    for (size_t b = 0; b < kStealthSaltSize * 8 / kStealthSaltCode; ++b) {
        const size_t bit = b * kStealthSaltCode;
        const unsigned m = (salt[bit / 8] >> (bit % 8)) & ((1u << kStealthSaltCode) - 1);
        EmbedBlock(cover, saltPositions.data() + int64_t(b) * saltBlockSize, kStealthSaltCode, m, random);
    }
    const Permutation main(keys.permutation, cover.size, true);
    Slots slots(main, cover.size, saltPositions);
    Pacer pacer;
    aborted = !embedBytes(cover, slots, header, kStealthHeaderCode, random, pacer) ||
              !embedBytes(cover, slots, body, k, random, pacer);
    return StealthStatus::Ok;
}

namespace {

// ExtractStealth with the password's bytes as given.
StealthStatus extractWith(const StealthCover& cover, std::string_view password, const SealCost& cost,
                          uint8_t& kind, std::string& payload, bool& aborted)
{
    const std::vector<int64_t> saltPositions = saltPositionsFor(cover.size, password);
    if (saltPositions.empty())
        return StealthStatus::Failed;
    uint8_t salt[kStealthSaltSize] = {};
    const int64_t saltBlockSize = (int64_t(1) << kStealthSaltCode) - 1;
    for (size_t b = 0; b < kStealthSaltSize * 8 / kStealthSaltCode; ++b) {
        const size_t bit = b * kStealthSaltCode;
        const unsigned m = BlockSyndrome(cover, saltPositions.data() + int64_t(b) * saltBlockSize, kStealthSaltCode);
        salt[bit / 8] = static_cast<uint8_t>(salt[bit / 8] | (m << (bit % 8)));
    }
    Keys keys;
    if (!DeriveKeys(password, salt, cost, keys))
        return StealthStatus::Failed;
    if ((aborted = gAbort))
        return StealthStatus::Refused;
    const Permutation main(keys.permutation, cover.size, true);
    Slots slots(main, cover.size, saltPositions);
    Pacer pacer;
    std::string header;
    std::string inside;
    if (!readBytes(cover, slots, kStealthHeaderSize, kStealthHeaderCode, header, pacer)) {
        aborted = true;
        return StealthStatus::Refused;
    }
    if (!open(header, 0, keys, inside))
        return StealthStatus::Refused;
    const int k = static_cast<uint8_t>(inside[kHeaderCodeAt]);
    kind = static_cast<uint8_t>(inside[kHeaderKindAt]);
    int64_t length = 0;
    for (int b = 3; b >= 0; --b)
        length = (length << 8) | static_cast<uint8_t>(inside[kHeaderLengthAt + size_t(b)]);
    sodium_memzero(inside.data(), inside.size());
    // Checked although authenticated: only this program's own writing gets past the tag.
    if (k < 1 || k > kStealthMostCode || kind > kKindFile || length > StealthCapacity(cover.size) ||
        bodySlots(length, k) > cover.size - kFixedSlots) {
        kind = kKindMessage;
        return StealthStatus::Refused;
    }
    std::string body;
    try {
        if (!readBytes(cover, slots, size_t(length) + kStealthTagSize, k, body, pacer) ||
            !open(body, kBodyNonceFirstByte, keys, payload)) {
            aborted = gAbort;
            Wipe(payload);
            kind = kKindMessage;
            return StealthStatus::Refused;
        }
    } catch (const std::bad_alloc&) {
        kind = kKindMessage;
        return StealthStatus::Failed;
    }
    return StealthStatus::Ok;
}

}  // namespace

StealthStatus ExtractStealth(const StealthCover& cover, std::string_view password, const SealCost& cost,
                             uint8_t& kind, std::string& payload, bool& aborted)
{
    aborted = false;
    kind = kKindMessage;
    payload.clear();
    if (cover.size < kFixedSlots + 8 * int64_t(kStealthTagSize) || password.empty())
        return StealthStatus::Refused;
    std::string composed;
    try {
        composed = composedPassword(password);
    } catch (const std::bad_alloc&) {
        return StealthStatus::Failed;
    }
    StealthStatus status = extractWith(cover, composed, cost, kind, payload, aborted);
    // A picture made with the password's bytes as typed, when they are not composed, opens too.
    if (status == StealthStatus::Refused && !aborted && composed != password)
        status = extractWith(cover, password, cost, kind, payload, aborted);
    Wipe(composed);
    return status;
}

}  // namespace mirel
