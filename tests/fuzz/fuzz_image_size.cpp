// Arbitrary bytes as a picture file of each of the four types: the size reader
// must neither crash nor hang, and must give either a believable size or none.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "pictures/image_size.h"
#include "memory_file_system.h"

namespace {

void Check(bool ok, const kavo::PixelSize& size) {
    if (ok) {
        if (size.Width <= 0 || size.Height <= 0 || size.Width > (1 << 24) || size.Height > (1 << 24))
            std::abort();
    } else if (size.Width != 0 || size.Height != 0) {
        std::abort();
    }
}

kavo::PixelSize Read(const std::string& bytes, size_t chunk, bool* ok) {
    kavo::fuzz::MemoryFileSystem fs;
    fs.chunk = chunk;
    fs.files["/p/picture"] = bytes;
    kavo::PixelSize size{-1, -1};
    *ok = kavo::ReadPixelSize(fs, "/p/picture", size);
    Check(*ok, size);
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);

    // The bytes as they are, read whole and then in short reads: both must agree.
    bool whole = false, shortReads = false;
    kavo::PixelSize a = Read(raw, 0, &whole);
    kavo::PixelSize b = Read(raw, 1 + size % 13, &shortReads);
    if (whole != shortReads || a.Width != b.Width || a.Height != b.Height)
        std::abort();

    // The same bytes behind the signature of each type, so every reader sees them.
    static const std::string kSignatures[] = {
        std::string("\xFF\xD8\xFF", 3),
        std::string("\x89PNG\r\n\x1A\n", 8),
        std::string("GIF89a"),
        std::string("BM"),
    };
    for (const std::string& signature : kSignatures) {
        bool ok = false;
        Read(signature + raw, 0, &ok);
    }
    return 0;
}
