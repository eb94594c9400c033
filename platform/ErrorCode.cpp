#include "ErrorCode.h"

#include <cerrno>

namespace mirel {

const char* ErrorText(ErrorCode code)
{
    switch (code) {
    case ErrorCode::None: return "No error";
    case ErrorCode::InvalidArgument: return "Invalid procedure call or argument";
    case ErrorCode::Overflow: return "Overflow";
    case ErrorCode::OutOfMemory: return "Out of memory";
    case ErrorCode::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorCode::BadFileName: return "Bad file name or number";
    case ErrorCode::FileNotFound: return "File not found";
    case ErrorCode::DeviceIo: return "Device I/O error";
    case ErrorCode::DiskFull: return "Disk full";
    case ErrorCode::InputPastEnd: return "Input past end of file";
    case ErrorCode::PermissionDenied: return "Permission denied";
    case ErrorCode::PathFileAccess: return "Path/File access error";
    }
    return "Unknown error";
}

std::string Failure::describe() const
{
    std::string text = ErrorText(code);
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}

ErrorCode ErrorCodeFromErrno(int err, ErrorCode fallback)
{
    switch (err) {
    case ENOENT: return ErrorCode::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: return ErrorCode::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ErrorCode::DiskFull;
    case EIO: return ErrorCode::DeviceIo;
    case ENOMEM: return ErrorCode::OutOfMemory;
    case ENAMETOOLONG:
    case EINVAL: return ErrorCode::BadFileName;
    case EISDIR:
    case ENOTDIR:
    case ELOOP:
    case EBUSY: return ErrorCode::PathFileAccess;
    default: return fallback;
    }
}

}  // namespace mirel
