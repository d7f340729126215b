// Writes a folder of pictures built to cost a thumbnail maker time and memory,
// for measuring a thumbnail run's peak memory and how soon Ctrl-C ends it:
//   hostile_pictures DIR [COPIES]
// then e.g.  /usr/bin/time -v kavo-cli DIR --thumbnails --jobs=64
// Each kind comes COPIES times (default 8):
//   bomb-N.jpg   3 MB progressive JPEG, 2048x2048, its last scan repeated 190,000 times
//   slow-N.jpg   progressive JPEG, 3000x3000, 56 scans: about a second of decoding
//   large-N.jpg  progressive JPEG, 8000x8000 grey: 128 MB of coefficients
//   large-N.png  7000x7000 RGBA, flat: 196 MB decoded
//   claim-N.png  claims 20000x20000 in a few bytes
//   claim-N.gif  claims 4000x4000 in a few bytes
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "support/progressive_bomb.h"

namespace {

void Chunk(std::string& png, const char* type, const std::string& data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    png += {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
    std::string body = std::string(type, 4) + data;
    png += body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    png += {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16), static_cast<char>(crc >> 8), static_cast<char>(crc)};
}

/// An RGBA PNG; `rows` of its claimed height are really there.
std::string Png(uint32_t width, uint32_t height, uint32_t rows) {
    std::string png("\x89PNG\r\n\x1A\n", 8);
    std::string ihdr;
    for (uint32_t v : {width, height})
        ihdr += {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
    ihdr += {8, 6, 0, 0, 0};
    Chunk(png, "IHDR", ihdr);
    std::string raw;
    raw.reserve((static_cast<size_t>(width) * 4 + 1) * rows);
    for (uint32_t y = 0; y < rows; ++y) {
        raw += '\0';
        raw.append(static_cast<size_t>(width) * 4, static_cast<char>(y * 7));
    }
    uLongf packed = compressBound(static_cast<uLong>(raw.size()));
    std::string idat(packed, '\0');
    compress2(reinterpret_cast<Bytef*>(idat.data()), &packed, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    idat.resize(packed);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", "");
    return png;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: hostile_pictures DIR [COPIES]\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const int copies = argc == 3 ? std::atoi(argv[2]) : 8;
    const std::string bomb = kavo::test::ProgressiveBomb(2048, 2048, 190000);
    const std::string slow = kavo::test::ProgressiveBomb(3000, 3000, 50);
    const std::string large = kavo::test::ProgressiveBomb(8000, 8000, 0);
    const std::string png = Png(7000, 7000, 7000);
    const std::string claim = Png(20000, 20000, 2);
    const std::string gif("GIF89a\xA0\x0F\xA0\x0F\x80\0\0\0\0\0\xFF\xFF\xFF"
                          ",\0\0\0\0\xA0\x0F\xA0\x0F\0\x02\x02\x44\x01\0;",
                          35);
    for (int i = 1; i <= copies; ++i) {
        const std::string n = std::to_string(i);
        Write(dir + "bomb-" + n + ".jpg", bomb);
        Write(dir + "slow-" + n + ".jpg", slow);
        Write(dir + "large-" + n + ".jpg", large);
        Write(dir + "large-" + n + ".png", png);
        Write(dir + "claim-" + n + ".png", claim);
        Write(dir + "claim-" + n + ".gif", gif);
    }
    return 0;
}
