#include "Protection.h"

#include "CipherMirel.h"
#include "CodePage.h"
#include "Payload.h"

namespace mirel {

const char* ProtectionText(ProtectStatus status)
{
    switch (status) {
    case ProtectStatus::Ok: return "";
    case ProtectStatus::NeedsPassword: return "The hidden data is sealed: it needs its password.";
    case ProtectStatus::NotStealth: return "No stealth data opens with this password, or the picture was changed.";
    case ProtectStatus::NotSealed:
    case ProtectStatus::Refused: return kSealRefusedText;
    case ProtectStatus::TooCostly:
        return "The sealed data asks for more work than Mirel allows (at most 1 GiB of memory, and 4 times the "
               "work of its own seals); it was not opened.";
    case ProtectStatus::Newer: return "The sealed data was made by a newer version of Mirel; it was not opened.";
    case ProtectStatus::Unavailable: return "The encryption library (libsodium) cannot start.";
    case ProtectStatus::NoRoom:
        return "There is no room in the temporary folder for what the sealed data holds; it was not opened.";
    case ProtectStatus::Failed: break;
    }
    return "There is not enough memory for the key derivation.";
}

std::u16string UnstorablePasswordCharacters(Protection protection, std::u16string_view password)
{
    if (protection != Protection::Plain)
        return {};
    return CharactersWithoutCode(password);
}

namespace {

ProtectStatus statusOf(SealStatus status)
{
    switch (status) {
    case SealStatus::Ok: return ProtectStatus::Ok;
    case SealStatus::NotSealed:
    case SealStatus::Refused: return ProtectStatus::Refused;
    case SealStatus::TooCostly: return ProtectStatus::TooCostly;
    case SealStatus::Newer: return ProtectStatus::Newer;
    case SealStatus::Unavailable: return ProtectStatus::Unavailable;
    case SealStatus::NoRoom: return ProtectStatus::NoRoom;
    case SealStatus::Failed: break;
    }
    return ProtectStatus::Failed;
}

}  // namespace

ProtectStatus Protect(Protection protection, std::u16string_view password, uint8_t& kind, std::string_view content,
                      std::string& payload)
{
    payload.clear();
    if (protection == Protection::Plain) {
        payload = CryptPayload(content, password);
        return ProtectStatus::Ok;
    }
    if (password.empty())
        return ProtectStatus::NeedsPassword;
    if (protection == Protection::Stealth) {
        payload.assign(content);
        return ProtectStatus::Ok;
    }
    std::string box;
    if (const SealStatus status = SealPayload(kind, content, password, box); status != SealStatus::Ok)
        return statusOf(status);
    // Outside the seal only the plain format: never RC4 with the same password besides.
    payload = FrameFilePayload(kSealedName, box);
    Wipe(box);
    kind = kKindFile;
    return ProtectStatus::Ok;
}

Recovered Recover(uint8_t storedKind, std::string_view stored, std::u16string_view password, bool requireSeal)
{
    Recovered recovered;
    std::string box;
    if (!FindSealedBox(stored, box)) {
        if (requireSeal) {
            recovered.status = ProtectStatus::NotSealed;
            return recovered;
        }
        recovered.status = ProtectStatus::Ok;
        recovered.kind = storedKind;
        recovered.content = CryptPayload(stored, password);
        return recovered;
    }
    recovered.protection = Protection::Sealed;
    if (password.empty()) {
        recovered.status = ProtectStatus::NeedsPassword;
        return recovered;
    }
    recovered.status = statusOf(OpenSealedBox(box, password, recovered.kind, recovered.content));
    if (recovered.status != ProtectStatus::Ok)
        recovered.content.wipe();
    return recovered;
}

}  // namespace mirel
