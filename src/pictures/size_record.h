#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "fs/file_system.h"
#include "pictures/image_size.h"

namespace kavo {

/// Whether a file is the one recorded (the size record's and the thumbnails'
/// rule). Its inode is kept but not compared: a file put at the path since has
/// a later change time wherever the system keeps one, and some network file
/// systems (sshfs) number inodes anew at each mount, which would make every
/// picture look changed.
bool SameFile(const FileIdentity& now, const FileIdentity& recorded);

/// The file in the catalogue folder that keeps the pixel sizes between runs.
inline constexpr std::string_view kSizeRecordName = "sizes.txt";

/// The pixel sizes read by earlier runs, kept in a file of the catalogue folder
/// so that a rerun reads the header only of pictures that changed. Each size is
/// stamped with the identity of the file it was read from (size, modification
/// and change time, device and inode, taken from the open file itself), and is
/// used again only while the picture's path leads to a file of the same size
/// and times. A record that is damaged, not ours or of another version is
/// ignored and written anew.
class SizeRecord {
public:
    /// `base`: the chosen folder with its trailing separator (the record keeps
    /// paths below it); `file`: where the record lives.
    SizeRecord(FileSystem& fs, std::string base, std::string file);

    /// Reads the record. False when there was none usable.
    bool Load();

    /// True when an earlier record was read.
    bool HasRecord() const { return !m_old.empty(); }

    /// The recorded size of the picture at `path` (0 × 0 for one whose size
    /// could not be read) when the path leads to the file recorded: one look
    /// at the path, no open. False when the record does not know that file.
    bool Recorded(const std::string& path, PixelSize& size);

    /// The size of the picture at `path` (below the base): from the record when
    /// the file is the one recorded, else read from its header and recorded.
    /// May be called from several threads at once when the file system's
    /// reads are thread-safe. Returns what ReadPixelSize returns.
    bool Read(const std::string& path, PixelSize& size, const CancelCheck& cancelled = {});

    /// Writes the record when it differs from the one on disk: the pictures
    /// this run saw, and after a walk cut short also the earlier ones it did
    /// not reach. Never through a link (written beside and renamed in). False
    /// when it could not be written.
    bool Save(bool wholeWalk);

    struct Entry {
        FileIdentity Identity;
        PixelSize Size;
        bool operator==(const Entry& o) const {
            return Identity == o.Identity && Size.Width == o.Size.Width && Size.Height == o.Size.Height;
        }
    };

private:
    /// An entry of the record read, and whether this run found its file unchanged.
    struct Earlier {
        explicit Earlier(const Entry& e) : Recorded(e) {}
        Entry Recorded;
        mutable std::atomic<bool> Seen{false};
    };
    /// Looked up by the path's own characters, without a string made for each.
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    /// Keyed by views into the record's text, which the record keeps: no string made for each.
    using EarlierEntries = std::unordered_map<std::string_view, Earlier, KeyHash>;
    using NewEntries = std::unordered_map<std::string, Entry, KeyHash, std::equal_to<>>;

    bool Parse();
    /// The record this run leaves: the earlier entries found unchanged (or,
    /// after a walk cut short, all of them) with the new ones over them.
    std::string Format(bool wholeWalk) const;

    FileSystem& m_fs;
    const std::string m_base, m_file;
    std::string m_text;  // the record read, which m_old's keys view
    EarlierEntries m_old;
    bool m_onDisk = false;  // a usable record of ours is there
    std::mutex m_mutex;
    NewEntries m_new;        // pictures read anew this run
    bool m_changed = false;  // m_new holds an entry m_old does not
};

}  // namespace kavo
