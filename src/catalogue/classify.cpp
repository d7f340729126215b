#include "catalogue/classify.h"

#include <array>
#include <cstring>

#include "thumbs/thumbnails.h"

namespace kavo {
namespace {

// The navigation pictures that a generation copies into its catalogue folder.
constexpr std::array<std::string_view, 9> kSupportPictureNames = {
    "kavo/images/ball1.gif", "kavo/images/logo1.gif", "kavo/images/next1.gif",
    "kavo/images/next2.gif", "kavo/images/next3.gif", "kavo/images/prev1.gif",
    "kavo/images/prev2.gif", "kavo/images/prev3.gif", "kavo/images/rect1.gif",
};
constexpr size_t kSupportTail = 21;

bool IsSupportPicture(std::string_view folder, std::string_view name) {
    // Only the last 21 characters of folder + name matter; build them without joining.
    char tail[kSupportTail];
    size_t fromName = name.size() < kSupportTail ? name.size() : kSupportTail;
    size_t fromFolder = kSupportTail - fromName;
    if (fromFolder > folder.size()) return false;  // shorter than any support name
    std::memcpy(tail, folder.data() + folder.size() - fromFolder, fromFolder);
    std::memcpy(tail + fromFolder, name.data() + name.size() - fromName, fromName);
    for (char& c : tail) c = (c == '\\') ? '/' : LowerAscii(c);
    std::string_view t(tail, kSupportTail);
    for (std::string_view s : kSupportPictureNames) {
        if (t == s) return true;
    }
    return false;
}

}  // namespace

PictureType ClassifyPicture(std::string_view name, std::string_view folder) {
    // A UTF-8 name whose last four bytes are ASCII has them as its last four
    // characters; any other ending cannot match, so bytes serve as characters.
    if (name.size() < 4) return PictureType::NotPicture;
    char e[4];
    for (int i = 0; i < 4; ++i) e[i] = LowerAscii(name[name.size() - 4 + i]);
    std::string_view ending(e, 4);
    if (ending == ".jpg" && IsThumbnailFile(folder, name)) return PictureType::NotPicture;
    if (ending == ".jpg" || ending == "jpeg" || ending == ".jpe") return PictureType::Jpeg;
    if (ending == ".gif") return IsSupportPicture(folder, name) ? PictureType::SupportPicture : PictureType::Gif;
    if (ending == ".bmp") return PictureType::Bmp;
    if (ending == ".png") return PictureType::Png;
    return PictureType::NotPicture;
}

}  // namespace kavo
