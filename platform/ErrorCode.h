#pragma once

#include <string>

namespace mirel {

// Failure codes shown after "Encoding Error #", "Decoding Error #" and "StringToLong Error #".
// They keep the classic runtime error numbers so that users and documentation can look them up.
enum class ErrorCode : int {
    None = 0,
    InvalidArgument = 5,
    Overflow = 6,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    BadFileName = 52,
    FileNotFound = 53,
    DeviceIo = 57,
    DiskFull = 61,
    InputPastEnd = 62,
    PermissionDenied = 70,
    PathFileAccess = 75,
};

// The classic description of a code, e.g. "Disk full".
const char* ErrorText(ErrorCode code);

// A failure with its code and, where one is known, the file and the reason the system gave.
struct Failure {
    ErrorCode code = ErrorCode::None;
    std::string detail;  // e.g. "/tmp/out.bmp: No space left on device"; may be empty

    explicit operator bool() const { return code != ErrorCode::None; }
    // The description that follows the code in a message: ErrorText plus the detail in brackets.
    std::string describe() const;
};

// The code for an errno value met while opening, reading or writing a file.
ErrorCode ErrorCodeFromErrno(int err, ErrorCode fallback);

}  // namespace mirel
