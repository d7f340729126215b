// The one compiled copy of stb: stb_image for the size reader (headers only)
// and the thumbnail maker (pixels), and stb_image_resize for the maker that
// resamples itself (not on Windows, whose codecs scale). stb_image's JPEG reader
// is left out: on the way to the frame header it builds the Huffman tables, and
// the stb of Debian 12 writes past a table on a corrupt DHT segment; JPEG goes
// through a marker walk and libjpeg instead. No file opened by stb, no failure
// texts kept; the failure reason it still sets (the GIF header clears it) is
// one per thread, since pictures are read on several.
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_NO_SIMD
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb_image.h>
#ifndef _WIN32
#include <stb_image_resize.h>
#endif
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
