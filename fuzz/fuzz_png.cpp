// Arbitrary files as PNG carriers.
//
// Input: a file. Turning it into a plain bitmap must fail with a reason or succeed; it must never
// crash, hang or ask for memory out of proportion. When it succeeds, the bitmap is a plain one of
// the size the PNG's header gives, holding every row, and a PNG made of it turns back into the
// same bitmap.

#include "BinaryFile.h"
#include "CipherMirel.h"
#include "FuzzSupport.h"
#include "PngRows.h"

#include <string>

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
