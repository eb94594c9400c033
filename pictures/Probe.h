#pragma once

// Inside the pictures: telling what a picture is, and reading the formats that only Qt's image
// readers know through the module that holds them (QtImages.h), loaded on first need.

#include "Pictures.h"

namespace mirel::probe {

// What the picture in file is, from its first bytes; the file is back at its first byte after.
// A file that cannot go back (a pipe) is taken as a plain bitmap, as it always was. Failed, with
// the reason, when it cannot be read; Unknown is no failure.
CodecStatus ProbeOpen(BinaryFile& file, PictureFacts& facts, Failure& failure);

// Writes the picture that Qt reads at path into bmp, an empty file, as the plain bitmap that
// holds its pixels, and moves bmp back to its first byte. transparent tells whether a pixel was
// less than opaque. Fails with the reason, also when the module cannot be loaded.
Failure ReadWithQt(const std::string& path, BinaryFile& bmp, bool& transparent);

}  // namespace mirel::probe
