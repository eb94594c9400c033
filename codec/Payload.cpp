#include "Payload.h"

#include "CodePage.h"
#include "Paths.h"
#include "VBEncrypt.h"

#include <algorithm>

namespace mirel {

std::string FrameFilePayload(std::string_view name, std::string_view data)
{
    name = name.substr(0, kMaxNameBytes);
    std::string payload;
    payload.reserve(1 + name.size() + data.size());
    payload += static_cast<char>(name.size());
    payload += name;
    payload += data;
    return payload;
}

bool SplitFilePayload(std::string_view payload, FilePayload& file)
{
    file = FilePayload();
    if (payload.empty())
        return false;
    const size_t n = static_cast<unsigned char>(payload[0]);
    if (payload.size() < n + 1)
        return false;
    file.name = payload.substr(1, n);
    file.data = payload.substr(n + 1);
    return true;
}

bool IsControlByte(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 ||
           byte == 0x9D;
}

std::string SafeFileName(std::string_view storedName)
{
    std::string name = FileNameFromPath(storedName);
    bool usable = false;
    for (char& ch : name) {
        if (IsControlByte(static_cast<unsigned char>(ch)))
            ch = '_';
        else if (ch != '.')
            usable = true;
    }
    return usable ? name : std::string();
}

std::string Printable(std::string_view bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '\\') {
            out += "\\\\";
        } else if (IsControlByte(byte)) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

bool LooksLikeText(std::string_view bytes)
{
    size_t control = 0;
    size_t high = 0;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (IsControlByte(byte) && ch != '\t' && ch != '\r' && ch != '\n')
            ++control;
        else if (byte >= 0x80)
            ++high;
    }
    return (3 * control + high) * 10 <= 3 * bytes.size();
}

bool LooksGarbledName(std::string_view storedName)
{
    for (const char ch : storedName) {
        if (IsControlByte(static_cast<unsigned char>(ch)))
            return true;
    }
    return !LooksLikeText(storedName) || SafeFileName(storedName).empty();
}

std::string CryptPayload(std::string_view payload, std::u16string_view password)
{
    if (password.empty())
        return std::string(payload);
    return CryptString(payload, AnsiFromUtf16(password));
}

}  // namespace mirel
