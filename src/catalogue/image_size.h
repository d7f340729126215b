#pragma once

#include <cstdint>
#include <string>

#include "catalogue/file_system.h"

namespace kavo {

struct PixelSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

/// Reads a JPEG, GIF, BMP or PNG picture's pixel size from its header, reading
/// no more of the file than the header needs. Returns false (and a 0 × 0 size)
/// for a file that cannot be opened or is not such a picture.
bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size);

}  // namespace kavo
