#include "Payload.h"

#include "CodePage.h"
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

FilePayload SplitFilePayload(std::string_view payload)
{
    FilePayload file;
    if (payload.empty())
        return file;
    const size_t n = static_cast<unsigned char>(payload[0]);
    file.name = std::string(payload.substr(1, n));
    if (payload.size() > n + 1)
        file.data = std::string(payload.substr(n + 1));
    return file;
}

std::string CryptPayload(std::string_view payload, std::u16string_view password)
{
    if (password.empty())
        return std::string(payload);
    return CryptString(payload, AnsiFromUtf16(password));
}

}  // namespace mirel
