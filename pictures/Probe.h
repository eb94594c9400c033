#pragma once

// Inside the pictures: telling what a picture is, and reading the formats that only Qt's image
// readers know through the module that holds them (QtImages.h), loaded on first need.

#include "Pictures.h"

namespace mirel::probe {

// What the picture in file is, from its first bytes; the file is back at its first byte after.
// A file that cannot go back (a pipe) is taken as a plain bitmap, as it always was. Failed, with
// the reason, when it cannot be read; Unknown is no failure.
CodecStatus ProbeOpen(BinaryFile& file, PictureFacts& facts, Failure& failure);

// Writes the 24-bit BMP without compression in file (open, anywhere) into bmp, an empty file, as
// the plain bitmap that holds its pixels: its rows are the plain bitmap's rows, only behind a
// larger header or top to bottom, and are copied as they are. copied is false, and nothing
// written, for any other BMP (or one shorter than its rows): Qt reads those. Fails with the
// reason when a file cannot be read or written, or the picture is beyond what can be hidden in.
Failure CopyBitmapRows(BinaryFile& file, BinaryFile& bmp, bool& copied);

// Writes the picture that Qt reads at path into bmp, an empty file, as the plain bitmap that
// holds its pixels, and moves bmp back to its first byte. transparent tells whether a pixel was
// less than opaque. Fails with the reason, also when the module cannot be loaded.
Failure ReadWithQt(const std::string& path, BinaryFile& bmp, bool& transparent);

}  // namespace mirel::probe
