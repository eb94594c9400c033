#pragma once

// What every fuzz harness shares: quiet user services, a scratch folder of its own, and a check
// that stops the run where a property does not hold.

#include "CipherMirel.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Stops the run with the failed condition and its place; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition))                                                       \
            ::mirel::fuzz::CheckFailed(#condition, __FILE__, __LINE__);         \
    } while (false)

namespace mirel::fuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// Installs, once per process, user services that show nothing, answer OK and run no events.
void InstallSilentUi();

// Path of `name` inside this process's scratch folder, made on first use under /dev/shm when
// writable, else $TMPDIR, else /tmp, and removed with its content when the process exits or a
// check fails (not when a sanitizer ends it).
// Stops the run when no folder can be made.
std::string ScratchPath(const std::string& name);

// Replaces the file at path with the given bytes. Stops the run on failure: a harness that cannot
// write its input tests nothing.
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
// The whole file at path; stops the run when it cannot be read.
std::string ReadFile(const std::string& path);

// The codec's encoder and decoder on files, without the conversion of other formats: what the
// programs run for a plain bitmap. Encode writes the new picture at picturePath.
CodecResult Encode(const std::string& carrierPath, const std::string& picturePath, std::string_view payload,
                   uint8_t kind, int32_t& offset);
CodecResult Decode(const std::string& picturePath, int32_t& offset);

}  // namespace mirel::fuzz
