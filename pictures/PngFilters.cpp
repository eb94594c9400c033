// The five filters of PNG rows: applying one, undoing one, and choosing the one that suits a row.
#include "PngImageData.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace mirel::png {

namespace {

constexpr int kLeft = 3;  // bytes from a pixel's byte to the same byte of the pixel before

enum Filter : uint8_t { kNone, kSub, kUp, kAverage, kPaeth };

// The Paeth predictor: of left, above and above-left, the one nearest to left + above - aboveLeft.
inline uint8_t paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// What a filtered byte costs in the sum BestFilter weighs: its magnitude read as signed.
inline unsigned magnitude(uint8_t v)
{
    return std::min<unsigned>(v, uint8_t(-v));
}

// The value filter type predicts for a byte from the byte to its left, above and above-left.
uint8_t predict(uint8_t type, int left, int above, int aboveLeft)
{
    switch (type) {
    case kSub: return uint8_t(left);
    case kUp: return uint8_t(above);
    case kAverage: return uint8_t((left + above) >> 1);
    case kPaeth: return paeth(left, above, aboveLeft);
    default: return 0;
    }
}

}  // namespace

void FilterRow(uint8_t type, const uint8_t* pixels, const uint8_t* above, size_t count, uint8_t* out)
{
    // The first pixel has none to its left; the loops after it run without a branch per byte, so
    // that the compiler makes them vector code.
    const size_t first = std::min<size_t>(kLeft, count);
    for (size_t i = 0; i < first; ++i)
        out[i] = uint8_t(pixels[i] - predict(type, 0, above[i], 0));
    const uint8_t* left = pixels - kLeft;
    const uint8_t* aboveLeft = above - kLeft;
    switch (type) {
    case kNone: std::memcpy(out + first, pixels + first, count - first); break;
    case kSub:
        for (size_t i = first; i < count; ++i)
            out[i] = uint8_t(pixels[i] - left[i]);
        break;
    case kUp:
        for (size_t i = first; i < count; ++i)
            out[i] = uint8_t(pixels[i] - above[i]);
        break;
    case kAverage:
        for (size_t i = first; i < count; ++i)
            out[i] = uint8_t(pixels[i] - ((left[i] + above[i]) >> 1));
        break;
    default:
        for (size_t i = first; i < count; ++i)
            out[i] = uint8_t(pixels[i] - paeth(left[i], above[i], aboveLeft[i]));
        break;
    }
}

uint8_t BestFilter(const uint8_t* pixels, const uint8_t* above, size_t count)
{
    unsigned sums[kPaeth + 1] = {};
    const size_t first = std::min<size_t>(kLeft, count);
    for (size_t i = 0; i < first; ++i)
        for (uint8_t type = kNone; type <= kPaeth; ++type)
            sums[type] += magnitude(uint8_t(pixels[i] - predict(type, 0, above[i], 0)));
    // All five in one pass, each sum in a variable of its own, so that the loop is vector code.
    unsigned none = 0, sub = 0, up = 0, average = 0, paethSum = 0;
    for (size_t i = first; i < count; ++i) {
        const uint8_t x = pixels[i], a = pixels[i - kLeft], b = above[i], c = above[i - kLeft];
        none += magnitude(x);
        sub += magnitude(uint8_t(x - a));
        up += magnitude(uint8_t(x - b));
        average += magnitude(uint8_t(x - ((a + b) >> 1)));
        paethSum += magnitude(uint8_t(x - paeth(a, b, c)));
    }
    const unsigned all[] = {sums[0] + none, sums[1] + sub, sums[2] + up, sums[3] + average, sums[4] + paethSum};
    return uint8_t(std::min_element(std::begin(all), std::end(all)) - std::begin(all));
}

bool UnfilterRow(uint8_t type, uint8_t* row, const uint8_t* above, size_t count)
{
    if (type > kPaeth)
        return false;
    if (type == kNone)
        return true;
    // As in FilterRow: the first pixel alone, then a loop of its own for each type.
    const size_t first = std::min<size_t>(kLeft, count);
    for (size_t i = 0; i < first; ++i)
        row[i] = uint8_t(row[i] + predict(type, 0, above[i], 0));
    const uint8_t* aboveLeft = above - kLeft;
    switch (type) {
    case kSub:
        for (size_t i = first; i < count; ++i)
            row[i] = uint8_t(row[i] + row[i - kLeft]);
        break;
    case kUp:
        for (size_t i = first; i < count; ++i)
            row[i] = uint8_t(row[i] + above[i]);
        break;
    case kAverage:
        for (size_t i = first; i < count; ++i)
            row[i] = uint8_t(row[i] + ((row[i - kLeft] + above[i]) >> 1));
        break;
    default:
        for (size_t i = first; i < count; ++i)
            row[i] = uint8_t(row[i] + paeth(row[i - kLeft], above[i], aboveLeft[i]));
        break;
    }
    return true;
}

}  // namespace mirel::png
