#pragma once

// The pictures that only Qt's image readers take (JPEG, GIF, TIFF, WebP, ... and BMPs of every
// layout) are read by a module of their own, loaded when such a picture comes along, so that
// mirel-cli does not load Qt's whole picture library for the BMPs and PNGs it mostly works on.
// The module's entry points, with C linkage so that they can be looked up by name:

#include <cstddef>
#include <cstdint>

extern "C" {

// Where the pixels of a picture go: begin once with the size, then row for each row from the top
// (width * 3 bytes, red, green, blue). Each returns 0, or anything else to stop the reading.
struct MirelPictureSink {
    void* context;
    int (*begin)(void* context, uint32_t width, uint32_t height);
    int (*row)(void* context, uint32_t y, const uint8_t* rgb);
};

// Reads the picture at path into sink, the pixels as stored (no rotation, no colour conversion,
// alpha dropped). transparent receives 1 when a pixel was less than opaque. Returns 0, or -1
// with the reason in error (NUL-terminated, at most errorSize bytes); a sink's refusal returns
// what the sink returned.
int mirel_read_picture(const char* path, const MirelPictureSink* sink, int* transparent, char* error,
                       size_t errorSize);

// What the picture at path is, from its header: the format's name (such as "JPEG") in format,
// its size and its bits a pixel. Returns 0, or -1 when no reader takes it.
int mirel_probe_picture(const char* path, char* format, size_t formatSize, int64_t* width, int64_t* height,
                        int* bitsPerPixel);

// The extensions of the formats that can be read, lower case and separated by spaces, into
// buffer. Returns the length, or -1 when buffer is too small.
int mirel_picture_extensions(char* buffer, size_t size);

}  // extern "C"

// The names above, for looking them up.
inline constexpr char kReadPictureEntry[] = "mirel_read_picture";
inline constexpr char kProbePictureEntry[] = "mirel_probe_picture";
inline constexpr char kPictureExtensionsEntry[] = "mirel_picture_extensions";
