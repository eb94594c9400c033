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

// How an offset text stands against the offsets the codec takes: 0 to 2,147,483,647 groups.
enum class OffsetCheck {
    Ok,
    NotANumber,   // wholeText was asked for, and the text holds more than a number, or none
    Negative,     // -2,147,483,648 to -1: a 32-bit number, but no offset
    TooLarge,     // above 2,147,483,647
    TooNegative,  // below -2,147,483,648
};

// Judges an offset text, read as ValueOfOffsetText reads it, for the settings window and mirel-cli
// alike. With wholeText the text must be a number and nothing else (blanks aside), as on a command
// line; without it the number at its start counts, as in the settings window. Sets value to the
// rounded number for Ok and Negative and to 0 otherwise. Never fails.
OffsetCheck CheckOffsetText(std::string_view text, bool wholeText, int32_t& value);

}  // namespace mirel
