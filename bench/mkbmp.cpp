// mirel-mkbmp OUTPUT WIDTH HEIGHT [--gradient | --photo] [--seed N]
// Writes an uncompressed 24-bit carrier picture for the benchmark, the demo and the tests.
#include "BmpBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: mirel-mkbmp OUTPUT WIDTH HEIGHT [--gradient | --photo] [--seed N]\n");
        return 64;
    }
    mirel::test::BmpShape shape = mirel::test::ShapeOf(std::atoi(argv[2]), std::atoi(argv[3]));
    for (int k = 4; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--gradient")
            shape.pattern = mirel::test::Pattern::Gradient;
        else if (arg == "--photo")
            shape.pattern = mirel::test::Pattern::Photo;
        else if (arg == "--seed" && k + 1 < argc)
            shape.seed = static_cast<uint32_t>(std::strtoul(argv[++k], nullptr, 10));
    }
    if (!mirel::test::WriteBmp(argv[1], shape)) {
        std::perror(argv[1]);
        return 2;
    }
    return 0;
}
