#include "Wording.h"

#include "NumberText.h"

namespace mirel::cli {

namespace {

// The reason a failure gives: what the system said about which file, or the classic description.
std::string reasonOf(const Failure& failure)
{
    return failure.detail.empty() ? std::string(ErrorText(failure.code)) : failure.detail;
}

}  // namespace

std::string PlainText(const CodecResult& result, const RunContext& run)
{
    const std::string at = " at offset " + FormatNumber(run.offset);
    switch (result.problem) {
    case Problem::NotAPicture: return "not a picture Mirel can read: " + run.picture;
    case Problem::NegativeOffset: return "the offset must be 0 or more, not " + FormatNumber(run.offset);
    case Problem::NoRoom:
        return result.room > 0 ? "the data does not fit: " + run.picture + " can hold at most " +
                                     FormatNumber(result.room) + " bytes" + at
                               : run.picture + " has no room for hidden data" + at;
    case Problem::NotAFile:
    case Problem::OwnCarrier:
    case Problem::LossyOutput: {
        // The desktop's words, which name the file, on one line.
        std::string text = result.messages.empty() ? run.output : result.messages.back().text;
        return text.substr(0, text.find("\r\n"));
    }
    case Problem::None:
    case Problem::NothingHidden:
        return "nothing hidden" + at + " in " + run.picture + " (a wrong offset, or not made by Mirel)";
    case Problem::TooMuchAnnounced:
        return run.picture + " announces more data than it can hold after offset " + FormatNumber(run.offset) +
               " (a wrong offset?)";
    case Problem::CutShort: return run.picture + " is cut short: " + reasonOf(result.failure);
    case Problem::Failed: break;
    }
    return (run.output.empty() ? "cannot decode " : "cannot hide data in ") + run.picture + ": " +
           reasonOf(result.failure);
}

std::string PlainText(ProtectStatus status)
{
    if (status == ProtectStatus::NotSealed)
        return "the picture is not sealed";
    return ProtectionText(status);
}

}  // namespace mirel::cli
