// Offset texts as the settings window and mirel-cli read them.
//
// Input: the text. The result must agree with itself (a value in range is the rounded number) and,
// for decimal texts, with the C library's strtod reading the same number: whether it fits and
// which integer it rounds to.

#include "FuzzSupport.h"
#include "OffsetText.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace mirel;

namespace {

constexpr double kInt32Low = -2147483648.0;
constexpr double kInt32High = 2147483647.0;

bool fitsInt32(double rounded)
{
    return rounded >= kInt32Low && rounded <= kInt32High;
}

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n';
}

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

// The decimal number that starts the text, blanks removed, written for strtod: [sign] digits
// with at most one full stop, at least one digit, then an exponent when E or D is followed by
// an optional sign and at least one digit. Empty when the text does not start with one.
std::string decimalPrefix(const std::string& s)
{
    size_t pos = 0;
    std::string out;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        out += s[pos++];
    bool digit = false;
    bool point = false;
    for (; pos < s.size(); ++pos) {
        if (isDigit(s[pos]))
            digit = true;
        else if (s[pos] == '.' && !point)
            point = true;
        else
            break;
        out += s[pos];
    }
    if (!digit)
        return {};
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E' || s[pos] == 'd' || s[pos] == 'D')) {
        std::string exponent = "e";
        size_t at = pos + 1;
        if (at < s.size() && (s[at] == '+' || s[at] == '-'))
            exponent += s[at++];
        bool expDigit = false;
        for (; at < s.size() && isDigit(s[at]); ++at) {
            exponent += s[at];
            expDigit = true;
        }
        if (expDigit)
            out += exponent;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const OffsetValue got = ValueOfOffsetText(text);

    if (got.inRange) {
        FUZZ_CHECK(std::isfinite(got.number));
        FUZZ_CHECK(fitsInt32(std::nearbyint(got.number)));
        FUZZ_CHECK(static_cast<double>(got.value) == std::nearbyint(got.number));
    } else {
        FUZZ_CHECK(!fitsInt32(std::nearbyint(got.number)));
    }

    std::string compact;
    for (const char ch : text) {
        if (!isBlank(ch))
            compact += ch;
    }
    if (!compact.empty() && compact[0] == '&')
        return 0;  // &H and &O: checked against themselves only
    const std::string decimal = decimalPrefix(compact);
    if (decimal.empty()) {
        FUZZ_CHECK(got.inRange && got.value == 0);
        return 0;
    }
    const double expected = std::strtod(decimal.c_str(), nullptr);
    const double rounded = std::nearbyint(expected);
    FUZZ_CHECK(got.inRange == fitsInt32(rounded));
    if (got.inRange)
        FUZZ_CHECK(static_cast<double>(got.value) == rounded);
    return 0;
}
