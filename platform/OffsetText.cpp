#include "OffsetText.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <cmath>
#include <limits>
#include <string>

namespace mirel {

namespace {

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n';
}

int digitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return 99;
}

OffsetValue fromWhole(int64_t whole)
{
    OffsetValue result;
    result.number = static_cast<double>(whole);
    result.value = static_cast<int32_t>(whole);
    return result;
}

// &H or &O digits: radix 16 or 8. Values up to 16 bits are 16-bit signed, up to 32 bits 32-bit
// signed; anything longer does not fit.
OffsetValue readRadix(const std::string& s, size_t pos, int radix)
{
    uint64_t value = 0;
    const size_t firstDigit = pos;
    for (; pos < s.size(); ++pos) {
        const int digit = digitValue(s[pos]);
        if (digit >= radix)
            break;
        value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) {
            OffsetValue out;
            out.inRange = false;
            out.number = std::numeric_limits<double>::infinity();
            while (pos < s.size() && digitValue(s[pos]) < radix)
                ++pos;
            out.whole = pos == s.size();
            return out;
        }
    }
    OffsetValue out = value <= 0xFFFF ? fromWhole(static_cast<int16_t>(static_cast<uint16_t>(value)))
                                      : fromWhole(static_cast<int32_t>(static_cast<uint32_t>(value)));
    out.whole = pos > firstDigit && pos == s.size();
    return out;
}

}  // namespace

OffsetValue ValueOfOffsetText(std::string_view text)
{
    std::string s;
    s.reserve(text.size());
    for (const char ch : text) {
        if (!isBlank(ch))
            s += ch;
    }

    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'h' || s[1] == 'H')
            return readRadix(s, 2, 16);
        if (s[1] == 'o' || s[1] == 'O')
            return readRadix(s, 2, 8);
        return {};
    }

    // Gather the longest prefix that forms a decimal number, in a form from_chars accepts.
    std::string number;
    size_t pos = 0;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        if (s[pos] == '-')
            number += '-';
        ++pos;
    }
    bool anyDigit = false;
    bool point = false;
    for (; pos < s.size(); ++pos) {
        if (s[pos] >= '0' && s[pos] <= '9') {
            number += s[pos];
            anyDigit = true;
        } else if (s[pos] == '.' && !point) {
            number += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return {};
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E' || s[pos] == 'd' || s[pos] == 'D')) {
        size_t exp = pos + 1;
        std::string exponent = "e";
        if (exp < s.size() && (s[exp] == '+' || s[exp] == '-'))
            exponent += s[exp++];
        const size_t firstDigit = exp;
        while (exp < s.size() && s[exp] >= '0' && s[exp] <= '9')
            exponent += s[exp++];
        if (exp > firstDigit) {
            number += exponent;
            pos = exp;
        }
    }
    const bool whole = pos == s.size();

    OffsetValue result;
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Beyond what a double holds: strtod gives the signed infinity or about 0 that the number
        // tends to. The C locale keeps the full stop the decimal point whatever the user's is.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
        value = strtod_l(number.c_str(), nullptr, cLocale);
    }
    result.number = value;
    result.whole = whole;
    const double rounded = std::nearbyint(value);  // default rounding: halves to even
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        result.inRange = false;
        return result;
    }
    result.value = static_cast<int32_t>(rounded);
    return result;
}

OffsetCheck CheckOffsetText(std::string_view text, bool wholeText, int32_t& value)
{
    const OffsetValue offset = ValueOfOffsetText(text);
    value = 0;
    if (wholeText && !offset.whole)
        return OffsetCheck::NotANumber;
    if (!offset.inRange)
        return offset.number < 0 ? OffsetCheck::TooNegative : OffsetCheck::TooLarge;
    value = offset.value;
    return offset.value < 0 ? OffsetCheck::Negative : OffsetCheck::Ok;
}

}  // namespace mirel
