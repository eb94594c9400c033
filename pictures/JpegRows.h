#pragma once

// Inside the module that reads pictures (QtImages.h): JPEGs decoded a row at a time by libjpeg,
// so that memory stays that of a few rows (Qt's reader holds the whole picture, and then a copy
// of it in another format).

#include "QtImages.h"

namespace mirel::jpeg {

enum class JpegEnd { Read, NotTaken, Failed };

// Reads the JPEG at path into sink as 8-bit red, green and blue, as Qt's reader decodes them (the
// accurate integer transform, smooth upsampling; no rotation, no colour profile). NotTaken, with
// nothing handed to sink, for a file that is not a JPEG, one whose colours libjpeg cannot give
// as RGB (CMYK), or a progressive one too large to hold whole: Qt reads (or refuses) those.
// Failed with the reason in error (NUL-terminated, at most errorSize bytes), or with stop set to
// what the sink returned when it stopped the reading.
JpegEnd ReadJpeg(const char* path, const MirelPictureSink* sink, int& stop, char* error, size_t errorSize);

}  // namespace mirel::jpeg
