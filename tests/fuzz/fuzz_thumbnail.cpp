// Arbitrary bytes as a picture to make a thumbnail of, and as a thumbnail
// record: neither may crash, hang or take memory beyond the pixel bound, and a
// thumbnail made must fit twice its box.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "thumbs/thumb_maker.h"
#include "thumbs/thumbnails.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const std::unique_ptr<kavo::ThumbnailMaker> maker = kavo::NativeThumbnailMaker();
    const std::atomic<bool> stop{false};
    const int32_t box = 8 + static_cast<int32_t>(size % 24);
    const kavo::ThumbResult r = maker->Make(bytes, box, stop);
    if (r.Outcome == kavo::ThumbOutcome::Made &&
        (r.Width <= 0 || r.Height <= 0 || r.Width > box || r.Height > box || r.Jpeg.size() < 4))
        std::abort();
    if (r.Outcome != kavo::ThumbOutcome::Made && !r.Jpeg.empty())
        std::abort();

    std::map<std::string, kavo::ThumbRecordEntry> entries;
    if (kavo::ParseThumbRecord(bytes, entries)) {
        std::map<std::string, kavo::ThumbRecordEntry> again;
        // What was read is written back the same way.
        if (!kavo::ParseThumbRecord(kavo::FormatThumbRecord(entries), again) || again.size() != entries.size())
            std::abort();
    }
    return 0;
}
