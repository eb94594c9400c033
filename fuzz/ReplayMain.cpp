// Runs a fuzz harness, without libFuzzer, on every file of the folders (or files) it is given:
// the inputs that once crashed or hung and the seeds. Files whose names start with a dot are left
// out. A harness check or a sanitizer stops the run; a missing folder fails it.
//
// As under the fuzzer's -malloc_limit_mb, a single allocation over kAllocationLimit stops the
// run: no input of a few kilobytes has a reason to ask for that much.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr size_t kAllocationLimit = size_t(256) << 20;

void* allocate(size_t size)
{
    if (size > kAllocationLimit) {
        std::fprintf(stderr, "replay: allocation of %zu bytes is over the limit of %zu\n", size,
                     kAllocationLimit);
        std::abort();
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size)
{
    return allocate(size);
}

void* operator new[](size_t size)
{
    return allocate(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int k = 1; k < argc; ++k) {
        const fs::path place(argv[k]);
        std::error_code error;
        if (fs::is_regular_file(place, error)) {
            inputs.push_back(place);
            continue;
        }
        if (!fs::is_directory(place, error)) {
            std::fprintf(stderr, "replay: %s: no such file or folder\n", argv[k]);
            return 2;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(place)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());

    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "replay: %s: cannot be read\n", input.c_str());
            return 2;
        }
        std::fprintf(stderr, "replay: %s\n", input.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
