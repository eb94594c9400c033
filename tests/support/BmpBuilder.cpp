#include "BmpBuilder.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace mirel::test {

namespace {

void putLe(std::string& s, size_t at, uint32_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        s[at + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
}

// Fills one row; the padding is filled too, so that tests see it is carried along.
class RowMaker {
public:
    explicit RowMaker(const BmpShape& shape) : m_shape(shape), m_state(shape.seed ? shape.seed : 1) {}

    void fill(std::vector<char>& row, int64_t y)
    {
        if (m_shape.pattern == Pattern::Random) {
            for (char& byte : row)
                byte = static_cast<char>(next());
            return;
        }
        const double h = m_shape.height > 0 ? m_shape.height : 1;
        const double w = m_shape.width > 0 ? m_shape.width : 1;
        for (size_t x = 0; x + 2 < row.size() && int64_t(x / 3) < m_shape.width; x += 3) {
            const double u = double(x / 3) / w;
            const double v = double(y) / h;
            const double wave = std::sin(u * 9.0 + v * 4.0) + std::sin(std::hypot(u - 0.6, v - 0.4) * 14.0);
            const int noise = m_shape.pattern == Pattern::Photo ? 3 : 0;
            row[x] = static_cast<char>(120 + 100 * u + grain(noise));                // blue
            row[x + 1] = static_cast<char>(90 + 60 * v + 30 * wave + grain(noise));  // green
            row[x + 2] = static_cast<char>(150 + 50 * wave - 40 * v + grain(noise)); // red
        }
    }

private:
    // A random step of at most size either way; 0 when size is 0.
    int grain(int size) { return size ? int(next() % (2 * size + 1)) - size : 0; }

    uint8_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<uint8_t>(m_state >> 3);
    }

    const BmpShape& m_shape;
    uint32_t m_state;
};

int64_t rowsOf(const BmpShape& shape)
{
    const int64_t all = shape.height > 0 ? shape.height : 0;
    return shape.rowsWritten >= 0 && shape.rowsWritten < all ? shape.rowsWritten : all;
}

}  // namespace

int64_t StrideOf(int32_t width)
{
    const int64_t data = int64_t(width) * 3;
    return data <= 0 ? 0 : (data + 3) / 4 * 4;
}

std::string BmpHeaderBytes(const BmpShape& shape)
{
    std::string h(54, '\0');
    const int64_t stride = StrideOf(shape.width);
    const int64_t image = stride * (shape.height > 0 ? shape.height : 0);
    h[0] = 'B';
    h[1] = 'M';
    putLe(h, 2, static_cast<uint32_t>(54 + image), 4);
    putLe(h, 10, static_cast<uint32_t>(shape.pixelDataOffset), 4);
    putLe(h, 14, 40, 4);
    putLe(h, 18, static_cast<uint32_t>(shape.width), 4);
    putLe(h, 22, static_cast<uint32_t>(shape.height), 4);
    putLe(h, 26, 1, 2);
    putLe(h, 28, static_cast<uint16_t>(shape.bitsPerPixel), 2);
    putLe(h, 34, static_cast<uint32_t>(image), 4);
    putLe(h, 38, 2835, 4);
    putLe(h, 42, 2835, 4);
    return h;
}

std::string MakeBmp(const BmpShape& shape)
{
    std::string out = BmpHeaderBytes(shape);
    std::vector<char> row(rowsOf(shape) > 0 ? static_cast<size_t>(StrideOf(shape.width)) : 0);
    RowMaker maker(shape);
    for (int64_t y = 0; y < rowsOf(shape); ++y) {
        maker.fill(row, y);
        out.append(row.data(), row.size());
    }
    return out + shape.tail;
}

bool WriteBmp(const std::string& path, const BmpShape& shape)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return false;
    const std::string header = BmpHeaderBytes(shape);
    bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
    std::vector<char> row(rowsOf(shape) > 0 ? static_cast<size_t>(StrideOf(shape.width)) : 0);
    RowMaker maker(shape);
    for (int64_t y = 0; ok && y < rowsOf(shape); ++y) {
        maker.fill(row, y);
        ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
    }
    ok = ok && std::fwrite(shape.tail.data(), 1, shape.tail.size(), file.get()) == shape.tail.size();
    return std::fclose(file.release()) == 0 && ok;
}

}  // namespace mirel::test
