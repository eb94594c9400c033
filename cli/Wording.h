#pragma once

// What mirel-cli says when a run does not end as asked: plain words that name the file, never the
// desktop program's numbered messages. One table for every result of the codec and of the
// protections.

#include "CipherMirel.h"
#include "Protection.h"

#include <cstdint>
#include <string>

namespace mirel::cli {

// The files and the offset a run worked on, for the words.
struct RunContext {
    std::string picture;  // the carrier or the picture decoded
    std::string output;   // the new picture, when encoding
    int32_t offset = 0;
};

// The line that says why result did not end Ok (or, for an Ok decode that found nothing, that
// nothing is hidden).
std::string PlainText(const CodecResult& result, const RunContext& run);

// The line for a protection that did not succeed.
std::string PlainText(ProtectStatus status);

}  // namespace mirel::cli
