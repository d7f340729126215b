#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/cancel.h"
#include "base/observer.h"
#include "base/worker_threads.h"
#include "fs/file_system.h"
#include "walk/folder_listing.h"

namespace kavo {

/// Folders a walk could not list, for the one notice at its end.
struct UnreadableFolders {
    static constexpr size_t kNamed = 3;  // how many the notice names
    std::vector<std::string> First;      // the first few, in walk order
    int32_t Count = 0;

    void Add(const std::string& path);
    /// The notice naming the first few and how many; empty when there were none.
    std::string Notice() const;
};

/// Walks a folder tree in its fixed order (each folder's subfolders in name
/// order, depth first, each folder at most once) and hands the caller one
/// folder at a time with its listing.
///
/// On a network drive every listing waits for the server, so a small pool of
/// threads lists the folders the walk will enter next while the caller works
/// on the current one. Whatever they fetch, the order, the entries handed out
/// and every decision (a link already walked, a folder that vanished or cannot
/// be read) are the same as a walk that lists each folder at its turn: a
/// listing that failed ahead is tried again at its turn.
///
/// The walk keeps its own stack, never recursing, and one path that grows and
/// shrinks with it, so time and memory stay linear in the depth of the tree.
class FolderWalk {
public:
    struct Options {
        bool Subfolders = true;
        bool SortEntries = true;  // hand out entries in name order (else as listed)
        int Threads = 0;          // listing threads; 0 picks the default, 1 lists at each turn only
        /// List ahead from the start; otherwise only once a listing shows a slow drive.
        bool AlwaysAhead = false;
        ListingMemory* Keep = nullptr;   // keeps every listing there for a walk that follows
        ListingMemory* Reuse = nullptr;  // takes the listings a walk before kept there
    };
    /// Called as a folder's turn comes, before the yield that may cancel it.
    using EnterHook = std::function<void(const std::string& path)>;

    FolderWalk(const CancelToken& cancel, FileSystem& fs, RunObserver& obs, std::string root, Options options,
               EnterHook onEnter = {});
    /// Stops the listing threads and waits for them.
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    /// Moves to the next folder; false once the walk is over or cancelled.
    bool Next();
    /// The current folder, ending with a separator.
    const std::string& Path() const { return m_path; }
    /// Its entries; the caller may read them until the next call of Next().
    const std::vector<DirEntry>& Entries() const { return m_entries; }
    const UnreadableFolders& Unreadable() const { return m_unreadable; }
    /// Whether listings have shown round trips to a server (or the walk whose
    /// listings this one takes had). Asked from the walk's own thread.
    bool SlowDrive() const { return m_slowDrive; }

    using AheadVisitor = std::function<bool(const std::string& path, const std::vector<DirEntry>& entries)>;
    /// Shows `see` the folders listed ahead of the current one, in walk order,
    /// up to the first not listed yet or until `see` returns false, so that
    /// work on them (reading picture sizes) can begin early. A folder shown may
    /// still be skipped at its turn.
    void PeekAhead(const AheadVisitor& see);

private:
    struct Node;
    struct Frame {
        Node* node;
        size_t next;     // index of the next child to enter
        size_t pathLen;  // length of m_path for this folder
    };
    enum class Turn { Visit, Skip, Unreadable, Stop };

    bool Cancelled();
    Turn Enter(const std::shared_ptr<Node>& node);
    bool MayEnterLink(Node& node);
    bool TakeListing(Node& node);
    bool ListAtTurn(Node& node);
    bool List(const std::string& path, std::vector<DirEntry>& entries, FolderId& id, bool sort,
              const FileSystem::BetweenBatches& between);
    void Release(Node& node);
    void GiveBack(Node& node);
    void GiveBackBelow(Node& node);
    void Drop(Node& node);
    void PopFrame();
    void StartThreads();
    void Work();
    std::shared_ptr<Node> PickAhead(std::string& path);

    const CancelToken& m_cancel;
    FileSystem& m_fs;
    RunObserver& m_obs;
    Options m_options;
    EnterHook m_onEnter;
    WalkedFolders m_walked;
    UnreadableFolders m_unreadable;

    std::shared_ptr<Node> m_root;
    std::vector<Frame> m_stack;
    std::vector<size_t> m_open;  // indexes of frames with children still to enter
    std::string m_path;
    std::vector<DirEntry> m_entries;
    bool m_started = false;
    bool m_slowDrive = false;        // listings take as long as round trips to a server
    unsigned m_recentListings = 0;   // one bit per listing of the last four: set when slow

    std::mutex m_mutex;  // guards the nodes, m_stack, m_open and m_path against the listing threads
    WorkerThreads m_threads{m_mutex};  // their stop is read without the lock by listings in flight
    std::condition_variable m_listed;
    size_t m_ahead = 0;               // listings held or in flight ahead of the walk
    size_t m_heldEntries = 0;         // entries held by listings ahead
};

/// Threads that list ahead unless told otherwise.
inline constexpr int kListingThreads = 16;

}  // namespace kavo
