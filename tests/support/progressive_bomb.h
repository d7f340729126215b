#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace kavo::test {

/// A flat grey progressive JPEG of width × height whose last scan comes
/// `repeats` times more: each repeat is a few bytes of runs of empty blocks and
/// makes a decoder pass over every block again.
inline std::string ProgressiveBomb(int width, int height, int repeats) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width), 128);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string jpeg(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    const size_t last = jpeg.rfind("\xFF\xDA");
    const std::string scan = jpeg.substr(last, jpeg.size() - 2 - last);
    std::string out = jpeg.substr(0, jpeg.size() - 2);
    for (int i = 0; i < repeats; ++i)
        out += scan;
    return out + "\xFF\xD9";
}

}  // namespace kavo::test
