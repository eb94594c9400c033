#include "Seal.h"

#include "CodePage.h"
#include "Payload.h"

#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace mirel {

namespace {

constexpr char kMagic[] = "MIRELBOX";
constexpr size_t kMagicSize = 8;
constexpr uint8_t kVersion = 1;
constexpr uint8_t kDeflated = 0x01;
constexpr uint8_t kPadded = 0x02;
constexpr uint8_t kKnownFlags = kDeflated | kPadded;
constexpr size_t kPadBlock = 256;
constexpr size_t kInflateSlice = size_t(64) << 10;
constexpr size_t kVersionAt = 8;
constexpr size_t kFlagsAt = 9;
constexpr size_t kOperationsAt = 10;
constexpr size_t kMemoryAt = 18;
constexpr size_t kSaltAt = 26;
constexpr size_t kNonceAt = 42;
constexpr size_t kSaltSize = crypto_pwhash_SALTBYTES;
constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr size_t kInsideHeader = 5;  // kind and length
static_assert(kNonceAt + kNonceSize == kSealHeaderSize);
static_assert(kSaltAt + kSaltSize == kNonceAt);

// What a box may ask of a key derivation before it is refused as too costly: later versions may
// raise the default a little, but a picture must not be able to take the machine's memory or
// minutes of its time. Passes times memory, in bytes: 4 times the default cost's.
constexpr uint64_t kMostMemory = uint64_t(1) << 30;
constexpr uint64_t kMostWork = 4 * uint64_t(crypto_pwhash_OPSLIMIT_MODERATE) * crypto_pwhash_MEMLIMIT_MODERATE;

bool tooCostly(const SealCost& cost)
{
    return cost.memoryBytes > kMostMemory || cost.operations > kMostWork / cost.memoryBytes;
}

void putLe64(std::string& out, size_t at, uint64_t value)
{
    for (int k = 0; k < 8; ++k)
        out[at + size_t(k)] = static_cast<char>((value >> (8 * k)) & 0xFF);
}

uint64_t le64At(std::string_view bytes, size_t at)
{
    uint64_t value = 0;
    for (int k = 7; k >= 0; --k)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + size_t(k)]);
    return value;
}

const unsigned char* bytesOf(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

unsigned char* bytesOf(std::string& text)
{
    return reinterpret_cast<unsigned char*>(text.data());
}

bool ready()
{
    static const bool started = sodium_init() >= 0;
    return started;
}

// The key for password, salt and cost; false when the derivation cannot run (memory).
bool deriveKey(std::string_view password, const unsigned char* salt, const SealCost& cost, unsigned char* key)
{
    return crypto_pwhash(key, kKeySize, password.data(), password.size(), salt, cost.operations,
                         static_cast<size_t>(cost.memoryBytes), crypto_pwhash_ALG_ARGON2ID13) == 0;
}

// What can be told of a box before any work: Ok when it may be opened.
SealStatus checkBox(std::string_view box)
{
    if (!IsSealedBox(box))
        return SealStatus::NotSealed;
    if (!ready())
        return SealStatus::Unavailable;
    if (box.size() <= kFlagsAt)
        return SealStatus::Refused;
    if (static_cast<uint8_t>(box[kVersionAt]) != kVersion || (static_cast<uint8_t>(box[kFlagsAt]) & ~kKnownFlags) != 0)
        return SealStatus::Newer;
    if (box.size() < kSealHeaderSize + kInsideHeader + kTagSize)
        return SealStatus::Refused;
    const SealCost cost{le64At(box, kOperationsAt), le64At(box, kMemoryAt)};
    if (cost.operations < crypto_pwhash_OPSLIMIT_MIN || cost.memoryBytes < crypto_pwhash_MEMLIMIT_MIN)
        return SealStatus::Refused;
    return tooCostly(cost) ? SealStatus::TooCostly : SealStatus::Ok;
}

// Inflates body into payload a slice at a time: Refused when it is not a zlib stream, or holds
// more or less than length bytes; NoRoom when what it holds cannot be held.
SealStatus inflateInto(std::string_view body, uint32_t length, HeldBytes& payload)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return SealStatus::Failed;
    stream.next_in = const_cast<Bytef*>(bytesOf(body));
    stream.avail_in = static_cast<uInt>(body.size());
    int status = Z_OK;
    bool held = true;
    unsigned char slice[kInflateSlice];
    while (status == Z_OK && held) {
        stream.next_out = slice;
        stream.avail_out = sizeof slice;
        status = inflate(&stream, Z_NO_FLUSH);
        const size_t got = sizeof slice - stream.avail_out;
        if ((status != Z_OK && status != Z_STREAM_END) || payload.size() + got > length)
            break;
        held = !payload.append(reinterpret_cast<const char*>(slice), got);
    }
    sodium_memzero(slice, sizeof slice);
    inflateEnd(&stream);
    held = held && !payload.finish();
    if (!held)
        return SealStatus::NoRoom;
    return status == Z_STREAM_END && payload.size() == length ? SealStatus::Ok : SealStatus::Refused;
}

// Takes the opened inside apart: its padding off, kind, length and payload.
SealStatus unpackInside(std::string& inside, uint8_t flags, uint8_t& kind, HeldBytes& payload)
{
    if (flags & kPadded) {
        size_t unpadded = 0;
        if (sodium_unpad(&unpadded, bytesOf(inside), inside.size(), kPadBlock) != 0)
            return SealStatus::Refused;
        inside.resize(unpadded);
    }
    if (inside.size() < kInsideHeader)
        return SealStatus::Refused;
    kind = static_cast<uint8_t>(inside[0]);
    uint32_t length = 0;
    for (int k = 3; k >= 0; --k)
        length = (length << 8) | static_cast<uint8_t>(inside[1 + size_t(k)]);
    const std::string_view body = std::string_view(inside).substr(kInsideHeader);
    if (kind > 1 || length > uint32_t(std::numeric_limits<int32_t>::max()))
        return SealStatus::Refused;
    if (flags & kDeflated)
        return inflateInto(body, length, payload);
    if (body.size() != length)
        return SealStatus::Refused;
    payload = std::string(body);
    return SealStatus::Ok;
}

}  // namespace

SealCost DefaultSealCost()
{
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

bool IsSealedBox(std::string_view bytes)
{
    return bytes.size() >= kMagicSize && bytes.compare(0, kMagicSize, kMagic) == 0;
}

bool FindSealedBox(std::string_view storedPayload, std::string& box)
{
    FilePayload file;
    if (!SplitFilePayload(storedPayload, file) || (file.name != kSealedName && !IsSealedBox(file.data)))
        return false;
    box = std::string(file.data);
    return true;
}

SealStatus SealPayload(uint8_t kind, std::string_view payload, std::u16string_view password, std::string& box,
                       const SealCost& cost)
{
    std::u16string composed = NfcOf(password);
    std::string key = Utf8FromUtf16(composed);
    const SealStatus status = SealPayload(kind, payload, key, box, cost);
    Wipe(key);
    Wipe(composed);
    return status;
}

SealStatus OpenSealedBox(std::string_view box, std::u16string_view password, uint8_t& kind, HeldBytes& payload)
{
    std::u16string composed = NfcOf(password);
    std::string key = Utf8FromUtf16(composed);
    SealStatus status = OpenSealedBox(box, key, kind, payload);
    // Boxes sealed before passwords were composed open with the password as typed.
    if (status == SealStatus::Refused && composed != password) {
        Wipe(key);
        key = Utf8FromUtf16(password);
        status = OpenSealedBox(box, key, kind, payload);
    }
    Wipe(key);
    Wipe(composed);
    return status;
}

SealStatus SealPayload(uint8_t kind, std::string_view payload, std::string_view password, std::string& box,
                       const SealCost& cost)
{
    box.clear();
    if (!ready())
        return SealStatus::Unavailable;
    if (password.empty() || payload.size() > size_t(std::numeric_limits<int32_t>::max()))
        return SealStatus::Failed;
    std::string inside;
    std::string deflated;
    try {
        uLongf room = compressBound(static_cast<uLong>(payload.size()));
        deflated.resize(room);
        const bool smaller = compress2(bytesOf(deflated), &room, bytesOf(payload), static_cast<uLong>(payload.size()),
                                       Z_DEFAULT_COMPRESSION) == Z_OK &&
                             room < payload.size();
        deflated.resize(smaller ? room : 0);
        const std::string_view body = smaller ? std::string_view(deflated) : payload;
        inside.resize(kInsideHeader);
        inside[0] = static_cast<char>(kind);
        for (int k = 0; k < 4; ++k)
            inside[1 + size_t(k)] = static_cast<char>((payload.size() >> (8 * k)) & 0xFF);
        inside.append(body);
        size_t padded = 0;
        inside.resize(inside.size() + kPadBlock);
        sodium_pad(&padded, bytesOf(inside), inside.size() - kPadBlock, kPadBlock, inside.size());
        inside.resize(padded);

        box.assign(kSealHeaderSize + inside.size() + kTagSize, '\0');
        box.replace(0, kMagicSize, kMagic);
        box[kVersionAt] = static_cast<char>(kVersion);
        box[kFlagsAt] = static_cast<char>((smaller ? kDeflated : 0) | kPadded);
        putLe64(box, kOperationsAt, cost.operations);
        putLe64(box, kMemoryAt, cost.memoryBytes);
        randombytes_buf(bytesOf(box) + kSaltAt, kSaltSize);
        randombytes_buf(bytesOf(box) + kNonceAt, kNonceSize);

        unsigned char key[kKeySize];
        if (!deriveKey(password, bytesOf(box) + kSaltAt, cost, key)) {
            Wipe(inside);
            box.clear();
            return SealStatus::Failed;
        }
        unsigned long long written = 0;
        crypto_aead_xchacha20poly1305_ietf_encrypt(bytesOf(box) + kSealHeaderSize, &written, bytesOf(inside),
                                                   inside.size(), bytesOf(box), kSealHeaderSize, nullptr,
                                                   bytesOf(box) + kNonceAt, key);
        sodium_memzero(key, sizeof key);
    } catch (const std::bad_alloc&) {
        Wipe(inside);
        box.clear();
        return SealStatus::Failed;
    }
    Wipe(inside);
    Wipe(deflated);
    return SealStatus::Ok;
}

SealStatus OpenSealedBox(std::string_view box, std::string_view password, uint8_t& kind, HeldBytes& payload)
{
    kind = 0;
    payload.wipe();
    if (const SealStatus status = checkBox(box); status != SealStatus::Ok)
        return status;
    const SealCost cost{le64At(box, kOperationsAt), le64At(box, kMemoryAt)};
    std::string inside;
    try {
        inside.resize(box.size() - kSealHeaderSize - kTagSize);
        unsigned char key[kKeySize];
        if (!deriveKey(password, bytesOf(box) + kSaltAt, cost, key))
            return SealStatus::Failed;
        unsigned long long opened = 0;
        const int status = crypto_aead_xchacha20poly1305_ietf_decrypt(
            bytesOf(inside), &opened, nullptr, bytesOf(box) + kSealHeaderSize, box.size() - kSealHeaderSize,
            bytesOf(box), kSealHeaderSize, bytesOf(box) + kNonceAt, key);
        sodium_memzero(key, sizeof key);
        if (status != 0)
            return SealStatus::Refused;
        const SealStatus unpacked = unpackInside(inside, static_cast<uint8_t>(box[kFlagsAt]), kind, payload);
        Wipe(inside);
        if (unpacked != SealStatus::Ok)
            payload.wipe();
        return unpacked;
    } catch (const std::bad_alloc&) {
        Wipe(inside);
        payload.wipe();
        return SealStatus::Failed;
    }
}

void Wipe(std::string& text)
{
    if (!text.empty())
        sodium_memzero(text.data(), text.size());
    text.clear();
}

void Wipe(std::u16string& text)
{
    if (!text.empty())
        sodium_memzero(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}

}  // namespace mirel
