#include "FuzzSupport.h"

#include "BinaryFile.h"

#include "Ui.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace mirel::fuzz {

namespace {

class SilentUi : public UiServices {
public:
    int messageBox(const std::string&, const std::string&, MsgIcon, MsgButtons) override
    {
        return kAnswerOk;
    }
    void yield() override {}
};

std::string gScratch;

void removeScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(gScratch, ignored);
}

std::string scratchBase()
{
    if (::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && *tmp)
        return tmp;
    return "/tmp";
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::fflush(stderr);
    // The trap skips the exit handlers; a sanitizer's report still leaves the folder behind.
    if (!gScratch.empty())
        removeScratch();
    __builtin_trap();
}

void InstallSilentUi()
{
    static SilentUi silent;
    InstallUi(&silent);
}

std::string ScratchPath(const std::string& name)
{
    if (gScratch.empty()) {
        std::string pattern = scratchBase() + "/mirel-fuzz.XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror(pattern.c_str());
            CheckFailed("a scratch folder can be made", __FILE__, __LINE__);
        }
        gScratch = pattern;
        std::atexit(removeScratch);
    }
    return gScratch + "/" + name;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    FUZZ_CHECK(std::fclose(f) == 0 && written);
}

std::string ReadFile(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    std::string content;
    char buffer[16 * 1024];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        content.append(buffer, got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    FUZZ_CHECK(!failed);
    return content;
}

CodecResult Encode(const std::string& carrierPath, const std::string& picturePath, std::string_view payload,
                   uint8_t kind, int32_t& offset)
{
    BinaryFile source;
    if (Failure f = BinaryFile::openExisting(carrierPath, source))
        return EncodingFailure(f);
    return HidePayloadAt(source, picturePath, payload, kind, offset);
}

CodecResult Decode(const std::string& picturePath, int32_t& offset)
{
    BinaryFile file;
    if (Failure f = BinaryFile::openExisting(picturePath, file))
        return DecodingFailure(f);
    BitmapHeader header;
    CodecResult result = CheckPicture(file, header);
    return result.status == CodecStatus::Ok ? RevealPayloadFrom(file, header, offset) : result;
}

}  // namespace mirel::fuzz
