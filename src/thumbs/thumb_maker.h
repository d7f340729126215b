#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kavo {

/// What became of one picture.
enum class ThumbOutcome {
    Made,   // a thumbnail was made
    Small,  // the picture already fits the box: it is shown as it is
    Failed  // not a picture the maker can read, too large, or damaged: the original is shown
};

struct ThumbResult {
    ThumbOutcome Outcome = ThumbOutcome::Failed;
    /// The size the page shows it at, turned as the browser turns the picture.
    int32_t Width = 0;
    int32_t Height = 0;
    std::string Jpeg;  // the thumbnail file, for Made
};

/// The size a picture of width × height is shown at in a box × box square:
/// aspect kept, never enlarged, each side at least 1.
void FitInto(int32_t width, int32_t height, int32_t box, int32_t& outWidth, int32_t& outHeight);

/// Pictures with more pixels than this are not decoded (the memory a decode takes).
inline constexpr int64_t kMaxDecodedPixels = 64LL * 1024 * 1024;

/// Bytes that begin every thumbnail (a JPEG comment right after the start):
/// a file at a thumbnail's name that has them is ours to replace.
inline constexpr std::string_view kThumbnailComment = "Kavo thumbnail";

/// Makes the small copy of one picture held in memory. Implementations use the
/// platform's codecs; each Make is independent, so one maker serves many threads.
class ThumbnailMaker {
public:
    virtual ~ThumbnailMaker() = default;

    /// The thumbnail of a JPEG, GIF, BMP or PNG picture for a box of `box`
    /// CSS pixels: made at twice the shown size (no larger than the picture),
    /// turned by its EXIF orientation, transparency laid on white, the first
    /// frame of an animation, a JPEG of quality 80 carrying the colour profile.
    /// `stop` set gives the work up soon (Failed).
    virtual ThumbResult Make(std::string_view bytes, int32_t box, const std::atomic<bool>& stop) = 0;
};

/// The maker of this platform; null where there is none.
std::unique_ptr<ThumbnailMaker> NativeThumbnailMaker();

}  // namespace kavo
