#include "thumbs/thumb_maker.h"

namespace kavo {

std::unique_ptr<ThumbnailMaker> NativeThumbnailMaker() {
    return nullptr;
}

}  // namespace kavo
