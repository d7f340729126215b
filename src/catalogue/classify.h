#pragma once

#include <string>
#include <string_view>

#include "base/ascii.h"
#include "fs/file_system.h"

namespace kavo {

enum class PictureType { Jpeg, Gif, Bmp, Png, SupportPicture, NotPicture };

/// Decides from an entry's name alone (its last four characters, ASCII case
/// ignored) whether it is a picture and of which type. A GIF whose full path
/// ends in one of the catalogue's own navigation pictures is a SupportPicture;
/// the catalogue's thumbnails (kavo/thumbs/NAME.jpg) are no pictures.
/// `folder` ends with a separator; either separator is recognised in it.
PictureType ClassifyPicture(std::string_view name, std::string_view folder);

/// ClassifyPicture for a listed entry: only files (or links to them) are pictures.
inline PictureType ClassifyEntry(const DirEntry& entry, std::string_view folder) {
    return entry.IsFile ? ClassifyPicture(entry.Name, folder) : PictureType::NotPicture;
}

}  // namespace kavo
