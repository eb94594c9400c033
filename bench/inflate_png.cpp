// mirel-inflate-png PNG
// The benchmark's reference for reading a PNG: inflates its image data (the IDAT chunks, one
// zlib stream) and does nothing else with it: no CRCs, no filters, no pixels. Exits 0 when the
// stream inflated to its end, 1 otherwise.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kSignatureSize = 8;
constexpr size_t kChunkHeaderSize = 8;  // length, type
constexpr size_t kCrcSize = 4;
constexpr size_t kOutputBytes = size_t(1) << 20;

uint32_t bigEndian(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mirel-inflate-png PNG\n");
        return 64;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file || std::fseek(file, long(kSignatureSize), SEEK_SET) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        return 2;
    std::vector<unsigned char> chunk;
    std::vector<unsigned char> out(kOutputBytes);
    int status = Z_OK;
    unsigned char head[kChunkHeaderSize];
    while (status == Z_OK && std::fread(head, 1, sizeof head, file) == sizeof head) {
        const uint32_t length = bigEndian(head);
        chunk.resize(size_t(length) + kCrcSize);
        if (std::fread(chunk.data(), 1, chunk.size(), file) != chunk.size())
            break;
        if (std::memcmp(head + 4, "IDAT", 4) != 0)
            continue;
        z.next_in = chunk.data();
        z.avail_in = length;
        while (status == Z_OK && z.avail_in > 0) {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            status = inflate(&z, Z_NO_FLUSH);
        }
    }
    inflateEnd(&z);
    std::fclose(file);
    return status == Z_STREAM_END ? 0 : 1;
}
