#pragma once

#include <cstdint>
#include <string_view>

namespace mirel {

struct OffsetValue {
    bool inRange = true;  // false: the number lies outside -2147483648 to 2147483647
    int32_t value = 0;    // the rounded number when inRange
    double number = 0;    // the number as read, before rounding
    bool whole = false;   // the text is a number and nothing else (blanks aside)
};

// Reads the number at the start of an offset text, as the settings window and mirel-cli take it:
// blanks, tabs and line feeds anywhere are ignored; an optional sign, decimal digits with at most
// one full stop, an optional exponent (E or D, either case, optional sign, digits); or &H with
// hexadecimal or &O with octal digits, where a value of 16 bits is a 16-bit signed number
// (&HFFFF is -1) and a longer one a 32-bit signed number. Reading stops at the first character
// that cannot continue the number; a text without a number is 0. The value is rounded to the
// nearest integer, halves to even. Never fails; see inRange, and whole for a text that must be a
// number and nothing else.
OffsetValue ValueOfOffsetText(std::string_view text);

}  // namespace mirel
