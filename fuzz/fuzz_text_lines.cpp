// Text cut into lines, fed whole, in pieces and through a file.
//
// Input: [n, 0..15][n piece sizes][text]. The text is fed to one splitter whole and to another
// in pieces of the given sizes, used in turn (a 0 feeds an empty piece); both must give the lines
// of a plain reference splitter, and so must ReadTextLines on a file with the text. A splitter
// must also start afresh after finish().

#include "FuzzSupport.h"
#include "TextLines.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

using namespace mirel;

namespace {

using Lines = std::vector<std::string>;

constexpr size_t kMostPieceSizes = 16;

// Lines end at CR or CR LF, a lone LF stays in its line, a last line without an end counts.
Lines referenceLines(std::string_view text)
{
    Lines lines;
    std::string line;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\r') {
            line += text[k];
            continue;
        }
        lines.push_back(line);
        line.clear();
        if (k + 1 < text.size() && text[k + 1] == '\n')
            ++k;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

LineSplitter::Sink collectInto(Lines& lines)
{
    return [&lines](std::string_view line) { lines.emplace_back(line); };
}

Lines inPieces(LineSplitter& splitter, std::string_view text, const std::vector<size_t>& sizes)
{
    Lines lines;
    const auto sink = collectInto(lines);
    size_t at = 0;
    size_t turn = 0;
    bool lastEmpty = false;
    while (at < text.size()) {
        size_t piece = sizes.empty() ? text.size() : sizes[turn++ % sizes.size()];
        if (piece == 0 && lastEmpty)
            piece = 1;  // two empty pieces in a row would never get anywhere
        piece = std::min(piece, text.size() - at);
        splitter.feed(text.substr(at, piece), sink);
        lastEmpty = piece == 0;
        at += piece;
    }
    splitter.finish(sink);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t count = std::min<size_t>(data[0] % kMostPieceSizes, size - 1);
    const std::vector<size_t> sizes(data + 1, data + 1 + count);
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + count), size - 1 - count);
    const Lines expected = referenceLines(text);

    LineSplitter whole;
    Lines lines;
    whole.feed(text, collectInto(lines));
    whole.finish(collectInto(lines));
    FUZZ_CHECK(lines == expected);

    LineSplitter pieces;
    FUZZ_CHECK(inPieces(pieces, text, sizes) == expected);
    FUZZ_CHECK(inPieces(pieces, text, {}) == expected);

    static const std::string path = fuzz::ScratchPath("lines.txt");
    fuzz::WriteFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    Lines fromFile;
    FUZZ_CHECK(!ReadTextLines(path, collectInto(fromFile)));
    FUZZ_CHECK(fromFile == expected);
    return 0;
}
