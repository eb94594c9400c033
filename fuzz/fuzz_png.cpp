// Arbitrary files as PNG carriers.
//
// Input: a file. Turning it into a plain bitmap must fail with a reason or succeed; it must never
// crash, hang or ask for memory out of proportion. When it succeeds, the bitmap is a plain one of
// the size the PNG's header gives, holding every row, and a PNG made of it turns back into the
// same bitmap. Decoding the PNG's rows as the decoder asks for them, a third of them a pass,
// gives what decoding that bitmap gives; where the PNG can be spliced, the spliced PNG holds
// what hiding in that bitmap gives.

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "FuzzSupport.h"
#include "PngRows.h"
#include "PngSplice.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace mirel;

namespace {

std::string wholeOf(BinaryFile& file)
{
    std::string bytes;
    char buffer[4096];
    size_t got = 0;
    FUZZ_CHECK(!file.seek(0));
    do {
        FUZZ_CHECK(!file.readSome(buffer, sizeof buffer, got));
        bytes.append(buffer, got);
    } while (got > 0);
    return bytes;
}

// The rows of the PNG in png, handed out about a third of them a pass, hold the lowest bits of
// bitmap's (the file bmp); the decoder makes the same of either.
void compareRows(BinaryFile& bmp, const std::string& bitmap, BinaryFile& png)
{
    BitmapHeader header;
    std::copy(bitmap.begin(), bitmap.begin() + kHeaderSize, header.bytes);
    const RowGeometry geometry = GeometryOf(header);
    const size_t window = size_t(geometry.dataBytes + 7) / 8 * size_t(std::max<int64_t>(1, (geometry.rows + 2) / 3));
    BitmapHeader pngHeader;
    PngBitmapRows rows;
    FUZZ_CHECK(!rows.open(png, pngHeader, window));
    FUZZ_CHECK(std::equal(header.bytes, header.bytes + kHeaderSize, pngHeader.bytes));
    std::vector<uint8_t> row(static_cast<size_t>(geometry.stride));
    for (int64_t r = 0; r < geometry.rows; ++r) {
        FUZZ_CHECK(!rows.nextRow(row.data(), row.size()));
        for (size_t i = 0; i < row.size(); ++i)
            FUZZ_CHECK(row[i] == (uint8_t(bitmap[size_t(kHeaderSize + r * geometry.stride) + i]) & 1));
    }
    FUZZ_CHECK(rows.nextRow(row.data(), row.size()).code == ErrorCode::InputPastEnd);

    FUZZ_CHECK(!bmp.seek(kHeaderSize));
    int32_t offset = 0;
    const CodecResult fromBitmap = RevealPayloadFrom(bmp, header, offset);
    FUZZ_CHECK(!rows.open(png, pngHeader, window));
    offset = 0;
    const CodecResult fromPng = RevealPayloadFromRows(rows, pngHeader, offset);
    FUZZ_CHECK(fromPng.status == fromBitmap.status && fromPng.failure.code == fromBitmap.failure.code);
    FUZZ_CHECK(fromPng.kind == fromBitmap.kind && fromPng.payload == fromBitmap.payload);
}

// Where the PNG can be spliced, the new PNG holds the pixels that hiding the same payload in the
// bitmap (the file bmp) gives.
void compareSplice(BinaryFile& bmp, BinaryFile& png)
{
    static const std::string splicedPath = fuzz::ScratchPath("spliced.png");
    const std::string payload = "ab";
    int32_t offset = 0;
    CodecResult spliced;
    if (!png::SplicePng(png, splicedPath, payload, kKindMessage, offset, spliced))
        return;
    FUZZ_CHECK(spliced.status == CodecStatus::Ok);
    BinaryFile expected;
    offset = 0;
    FUZZ_CHECK(!bmp.seek(0));
    const auto into = [&](BinaryFile*& out) {
        out = &expected;
        return BinaryFile::createTemporary("expected", expected);
    };
    FUZZ_CHECK(HidePayloadInto(bmp, into, payload, kKindMessage, offset).status == CodecStatus::Ok);
    BinaryFile written;
    BinaryFile back;
    bool transparent = false;
    bool aborted = false;
    FUZZ_CHECK(!BinaryFile::openExisting(splicedPath, written));
    FUZZ_CHECK(!BinaryFile::createTemporary("back", back));
    FUZZ_CHECK(!PngToPlainBitmap(written, back, transparent, aborted));
    FUZZ_CHECK(wholeOf(back) == wholeOf(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::InstallSilentUi();
    static const std::string pngPath = fuzz::ScratchPath("carrier.png");
    fuzz::WriteFile(pngPath, data, size);

    BinaryFile png;
    FUZZ_CHECK(!BinaryFile::openExisting(pngPath, png));
    BinaryFile bmp;
    FUZZ_CHECK(!BinaryFile::createTemporary("bitmap", bmp));
    bool transparent = false;
    bool aborted = false;
    if (PngToPlainBitmap(png, bmp, transparent, aborted))
        return 0;
    FUZZ_CHECK(!aborted);
    const std::string bitmap = wholeOf(bmp);
    BitmapHeader header;
    FUZZ_CHECK(bitmap.size() >= size_t(kHeaderSize));
    std::copy(bitmap.begin(), bitmap.begin() + kHeaderSize, header.bytes);
    FUZZ_CHECK(header.isPlain());
    FUZZ_CHECK(int64_t(bitmap.size()) == kHeaderSize + GeometryOf(header).stride * GeometryOf(header).rows);
    compareRows(bmp, bitmap, png);
    compareSplice(bmp, png);

    BinaryFile again;
    BinaryFile back;
    FUZZ_CHECK(!BinaryFile::createTemporary("again", again));
    FUZZ_CHECK(!BinaryFile::createTemporary("back", back));
    FUZZ_CHECK(!PlainBitmapToPng(bmp, again, aborted));
    FUZZ_CHECK(!again.seek(0));
    FUZZ_CHECK(!PngToPlainBitmap(again, back, transparent, aborted));
    FUZZ_CHECK(!transparent);
    FUZZ_CHECK(wholeOf(back) == bitmap);
    return 0;
}
