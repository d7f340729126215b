#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "fs/file_system.h"

namespace kavo {

struct PixelSize {
    int32_t Width = 0;
    int32_t Height = 0;
};

/// Asked now and then while a read waits on a slow disk; true gives the read up.
using CancelCheck = std::function<bool()>;

/// How often a read, or a wait for one, asks its CancelCheck: a cancel must act within a tenth of a second.
inline constexpr std::chrono::milliseconds kCancelPoll{20};

/// The EXIF orientation (1 to 8, tag 0x0112 in IFD0) of a TIFF block, the
/// bytes after "Exif\0\0"; 0 when there is none.
int ExifOrientation(const unsigned char* tiff, size_t size);

/// Reads a JPEG, GIF, BMP or PNG picture's pixel size from its header, reading
/// no more of the file than the header needs, as the browser shows it: a photo
/// whose EXIF orientation turns it by a quarter has width and height swapped.
/// Returns false (and a 0 × 0 size) for a file that cannot be opened, is not
/// such a picture, holds tens of KB of other bytes where its header should be,
/// or when `cancelled` says so.
bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size, const CancelCheck& cancelled = {});

/// ReadPixelSize that also tells the identity of the file the header was read
/// from (all zero when it could not be opened or the system cannot tell).
bool ReadPixelSize(FileSystem& fs, const std::string& path, PixelSize& size, const CancelCheck& cancelled,
                   FileIdentity* identity);

/// The same, from a file already open at its start.
bool ReadPixelSizeOf(InputFile& file, PixelSize& size, const CancelCheck& cancelled = {});

}  // namespace kavo
