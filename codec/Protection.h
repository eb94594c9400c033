#pragma once

// How what is hidden is protected, decided in one place for both programs.
//
//   Plain   the payload as the hidden format has always held it: enciphered with RC4 keyed by
//           the password's 8-bit codes when there is a password (Payload.h), as it is otherwise;
//           the kind travels outside, in the picture.
//   Sealed  a sealed box (Seal.h) holding kind and payload, hidden as the data of a file payload
//           named "sealed.mirel"; never also enciphered with RC4.
//   Stealth the stealth layout (Stealth.h): the content goes as it is to HideStealthInPicture,
//           which enciphers, authenticates and spreads it with the password.
//
// Encoding chooses one (Protect); decoding finds which one a picture holds by itself (Recover;
// a stealth picture is found before that, by the stealth reader).

#include "Seal.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mirel {

enum class Protection { Plain, Sealed, Stealth };

enum class ProtectStatus {
    Ok,
    NeedsPassword,  // a seal without a password, to make or to open
    NotSealed,      // a seal was asked for and the picture holds none
    NotStealth,     // the stealth layout was asked for and none opens with the password
    Refused,        // a wrong password or a changed byte: the box does not open
    TooCostly,      // the box asks for more memory or work than this program gives it
    Newer,          // the box was made by a newer version
    Unavailable,    // the encryption library cannot start
    Failed,         // no memory for the key derivation
    NoRoom,         // the temporary folder cannot take what the box holds
};

// The one text for each status but Ok and NeedsPassword, said alike by both programs.
const char* ProtectionText(ProtectStatus status);

// The characters of password that protection cannot keep apart: for Plain those without an 8-bit
// code (they would all become the same "?", so that any of them would open the picture), for
// Sealed and Stealth none (they take the password's UTF-8 bytes). Empty when the password will do.
std::u16string UnstorablePasswordCharacters(Protection protection, std::u16string_view password);

// Turns content of kind (a message's bytes, or a file payload) into the payload the codec hides
// and the kind stored beside it, both written to payload and kind. Plain never fails. Sealed
// needs a password (NeedsPassword otherwise) and may fail for want of memory (Failed); payload is
// left empty then. Takes a second or so for a seal: the key derivation is memory-hard. Stealth
// needs a password and hands the content back as it is, for HideStealthInPicture.
ProtectStatus Protect(Protection protection, std::u16string_view password, uint8_t& kind, std::string_view content,
                      std::string& payload);

// What a picture's hidden payload turns out to hold.
struct Recovered {
    ProtectStatus status = ProtectStatus::Failed;
    Protection protection = Protection::Plain;  // what the picture holds
    uint8_t kind = 0;                           // of the content
    HeldBytes content;                          // deciphered or opened; empty unless Ok
};

// Turns the payload and kind a decode got back into what was protected. A sealed box opens with
// password: NeedsPassword without one, Refused, TooCostly or Failed when it does not open. Any
// other payload is deciphered with RC4 when there is a password (Plain, always Ok), or
// NotSealed when requireSeal asks for a seal.
Recovered Recover(uint8_t storedKind, std::string_view stored, std::u16string_view password, bool requireSeal);

}  // namespace mirel
