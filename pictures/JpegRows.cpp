// JPEGs a row at a time through libjpeg (JpegRows.h).
#include "JpegRows.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace mirel::jpeg {

namespace {

constexpr unsigned char kStartOfImage[] = {0xFF, 0xD8, 0xFF};
// A progressive JPEG is held whole by libjpeg (all its coefficients, some 3 to 6 bytes a pixel).
// One larger than Qt's reader takes (256 MB at 4 bytes a pixel) is left to Qt, which refuses it.
constexpr uint64_t kMostProgressivePixels = uint64_t(64) << 20;

// libjpeg reports a failure by calling error_exit, which must not return: it jumps back to
// ReadJpeg with the message kept. Nothing with a destructor lives between the two.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failed(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->back, 1);
}

// Warnings (a stray byte, data that ends early and is padded) stay off the terminal, as Qt's do.
void quiet(j_common_ptr) {}

bool isJpeg(std::FILE* file)
{
    unsigned char head[sizeof kStartOfImage] = {};
    const bool jpeg = std::fread(head, 1, sizeof head, file) == sizeof head &&
                      std::memcmp(head, kStartOfImage, sizeof head) == 0;
    std::rewind(file);
    return jpeg;
}

// The decoding itself, between setjmp and the end: libjpeg set up, file open.
JpegEnd decode(jpeg_decompress_struct& info, const MirelPictureSink* sink, int& stop)
{
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ||
        (info.progressive_mode && uint64_t(info.image_width) * info.image_height > kMostProgressivePixels))
        return JpegEnd::NotTaken;
    info.out_color_space = JCS_RGB;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info);
    if ((stop = sink->begin(sink->context, info.output_width, info.output_height)) != 0)
        return JpegEnd::Failed;
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * info.output_components, 1);
    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        jpeg_read_scanlines(&info, row, 1);
        if ((stop = sink->row(sink->context, y, row[0])) != 0)
            return JpegEnd::Failed;
    }
    jpeg_finish_decompress(&info);
    return JpegEnd::Read;
}

}  // namespace

JpegEnd ReadJpeg(const char* path, const MirelPictureSink* sink, int& stop, char* error, size_t errorSize)
{
    stop = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return JpegEnd::NotTaken;
    if (!isJpeg(file)) {
        std::fclose(file);
        return JpegEnd::NotTaken;
    }
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = failed;
    errors.manager.output_message = quiet;
    JpegEnd end = JpegEnd::Failed;
    if (setjmp(errors.back) == 0) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        end = decode(info, sink, stop);
    } else if (errorSize > 0) {
        std::snprintf(error, errorSize, "%s", errors.message);
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return end;
}

}  // namespace mirel::jpeg
