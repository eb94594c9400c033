#pragma once

#include "ErrorCode.h"

#include <functional>
#include <string>
#include <string_view>

namespace mirel {

// Cuts text into lines that end at a CR or a CR LF pair; the terminator is not part of the line,
// a lone LF stays inside its line, and a last line without terminator counts too. Text may be
// fed in pieces of any size.
class LineSplitter {
public:
    using Sink = std::function<void(std::string_view line)>;

    void feed(std::string_view chunk, const Sink& sink);
    // Hands over the last line when the text did not end with a terminator.
    void finish(const Sink& sink);

private:
    std::string m_line;
    bool m_afterCr = false;  // the previous byte was a CR: a following LF belongs to it
    bool m_pending = false;  // m_line holds the start of an unterminated line
};

// Reads the file at path line by line (see LineSplitter) and hands each line to sink.
// Returns the failure when the file cannot be opened or read; lines read before it were handed on.
Failure ReadTextLines(const std::string& path, const LineSplitter::Sink& sink);

}  // namespace mirel
