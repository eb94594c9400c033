#include "VBEncrypt.h"

#include <array>
#include <cstdint>
#include <utility>

namespace mirel {

namespace {

constexpr int kTableSize = 256;

// The cipher state: permutation, key table and the two keystream indices.
struct Rc4State {
    std::array<uint8_t, kTableSize> S{};
    std::array<uint8_t, kTableSize> K{};
    uint8_t i = 0;
    uint8_t j = 0;
};

Rc4State gState;

// Key schedule: K repeats the password cyclically, S starts as the identity and is mixed by K.
void SetKey(std::string_view password)
{
    size_t p = 0;
    for (int n = 0; n < kTableSize; ++n) {
        gState.K[n] = static_cast<uint8_t>(password[p]);
        p = p + 1 < password.size() ? p + 1 : 0;
    }
    for (int n = 0; n < kTableSize; ++n)
        gState.S[n] = static_cast<uint8_t>(n);
    uint8_t j = 0;
    for (int n = 0; n < kTableSize; ++n) {
        j = static_cast<uint8_t>(j + gState.S[n] + gState.K[n]);
        std::swap(gState.S[n], gState.S[j]);
    }
}

// One keystream step: returns b XOR the next keystream byte.
uint8_t CryptByte(uint8_t b)
{
    gState.i = static_cast<uint8_t>(gState.i + 1);
    gState.j = static_cast<uint8_t>(gState.j + gState.S[gState.i]);
    std::swap(gState.S[gState.i], gState.S[gState.j]);
    const uint8_t t = static_cast<uint8_t>(gState.S[gState.i] + gState.S[gState.j]);
    return b ^ gState.S[t];
}

// Key material does not outlive the call that needed it.
void Wipe()
{
    volatile uint8_t* s = gState.S.data();
    volatile uint8_t* k = gState.K.data();
    for (int n = 0; n < kTableSize; ++n) {
        s[n] = 0;
        k[n] = 0;
    }
}

}  // namespace

std::string CryptString(std::string_view text, std::string_view password)
{
    gState.i = 0;
    gState.j = 0;
    if (password.empty())
        return {};
    SetKey(password);
    const size_t n = text.size();
    std::string out(n, ' ');
    for (size_t k = 0; k < n; ++k)
        out[k] = static_cast<char>(CryptByte(static_cast<uint8_t>(text[k])));
    Wipe();
    return out;
}

}  // namespace mirel
