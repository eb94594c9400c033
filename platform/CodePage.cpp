#include "CodePage.h"

#include <QString>
#include <QUtf8StringView>

#include <algorithm>

#include <array>

namespace mirel {

namespace {

// Characters of bytes 0x80 to 0x9F; the rest of the table is the identity.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at pos and moves pos past it; kReplacement for a bad sequence.
char32_t nextUtf8(std::string_view text, size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    int extra;
    char32_t ch;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, ch = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, ch = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, ch = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (pos >= text.size() || (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80)
            return kReplacement;
        ch = (ch << 6) | (static_cast<unsigned char>(text[pos++]) & 0x3F);
    }
    if (ch < least || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
        return kReplacement;
    return ch;
}

void appendUtf8(std::string& out, char32_t ch)
{
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

}  // namespace

char16_t CharFromAnsi(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

unsigned char AnsiFromChar(char32_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<unsigned char>(ch);
    for (size_t k = 0; k < kHighControls.size(); ++k) {
        if (kHighControls[k] == ch)
            return static_cast<unsigned char>(0x80 + k);
    }
    return '?';
}

std::u16string Utf16FromAnsi(std::string_view bytes)
{
    std::u16string text(bytes.size(), u'\0');
    for (size_t k = 0; k < bytes.size(); ++k)
        text[k] = CharFromAnsi(static_cast<unsigned char>(bytes[k]));
    return text;
}

namespace {

// The character at text[k] (a surrogate pair as one) and how many units it takes.
std::u16string_view characterAt(std::u16string_view text, size_t k)
{
    const char16_t ch = text[k];
    const bool pair = ch >= 0xD800 && ch <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
                      text[k + 1] <= 0xDFFF;
    return text.substr(k, pair ? 2 : 1);
}

}  // namespace

std::string AnsiFromUtf16(std::u16string_view text, size_t* replaced)
{
    std::string bytes;
    bytes.reserve(text.size());
    size_t count = 0;
    for (size_t k = 0; k < text.size();) {
        const std::u16string_view ch = characterAt(text, k);
        k += ch.size();
        const unsigned char byte = ch.size() == 2 ? '?' : AnsiFromChar(ch[0]);
        if (byte == '?' && ch[0] != u'?')
            ++count;
        bytes += static_cast<char>(byte);
    }
    if (replaced)
        *replaced = count;
    return bytes;
}

std::u16string CharactersWithoutCode(std::u16string_view text)
{
    std::u16string found;
    for (size_t k = 0; k < text.size();) {
        const std::u16string_view ch = characterAt(text, k);
        k += ch.size();
        if ((ch.size() == 2 || (AnsiFromChar(ch[0]) == '?' && ch[0] != u'?')) &&
            found.find(ch) == std::u16string::npos)
            found += ch;
    }
    return found;
}

std::string Utf8FromAnsi(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        appendUtf8(text, CharFromAnsi(static_cast<unsigned char>(byte)));
    return text;
}

std::string AnsiFromUtf8(std::string_view text, size_t* replaced)
{
    std::string bytes;
    bytes.reserve(text.size());
    size_t count = 0;
    for (size_t pos = 0; pos < text.size();) {
        const char32_t ch = nextUtf8(text, pos);
        const unsigned char byte = ch == kReplacement ? '?' : AnsiFromChar(ch);
        if (byte == '?' && ch != U'?')
            ++count;
        bytes += static_cast<char>(byte);
    }
    if (replaced)
        *replaced = count;
    return bytes;
}

std::u16string Utf16FromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const char32_t ch = nextUtf8(text, pos);
        if (ch >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(ch);
        }
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view text)
{
    std::string out;
    // Room for the longest result at once: a password must not leave copies behind in memory
    // that growing the string would free.
    out.reserve(text.size() * 3);
    for (size_t k = 0; k < text.size(); ++k) {
        char32_t ch = text[k];
        if (ch >= 0xD800 && ch <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] <= 0xDFFF) {
            ch = 0x10000 + ((ch - 0xD800) << 10) + (text[++k] - 0xDC00);
        } else if (ch >= 0xD800 && ch <= 0xDFFF) {
            ch = kReplacement;
        }
        appendUtf8(out, ch);
    }
    return out;
}

bool IsValidUtf8(std::string_view text)
{
    return QUtf8StringView(text.data(), qsizetype(text.size())).isValidUtf8();
}

std::u16string NfcOf(std::u16string_view text)
{
    QString typed = QString::fromUtf16(text.data(), qsizetype(text.size()));
    QString composed = typed.normalized(QString::NormalizationForm_C);
    std::u16string out(reinterpret_cast<const char16_t*>(composed.constData()), size_t(composed.size()));
    for (QString* copy : {&typed, &composed})
        std::fill(copy->begin(), copy->end(), QChar(0));
    return out;
}

}  // namespace mirel
