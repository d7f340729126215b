#include "walk/folder_walk.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <utility>

namespace kavo {
namespace {

/// Listings held ahead per listing thread: enough to keep every thread busy
/// while the walk catches up, few enough that memory stays flat.
constexpr size_t kAheadPerThread = 4;
/// Entries held ahead of the walk at most (a few MB of names); a huge folder
/// ahead is still listed, but nothing more until the walk has taken it.
constexpr size_t kMaxHeldEntries = 200000;
/// A listing slower than this, plus kSlowPerEntry for each of its names,
/// waits for a server (at least an open and two reads of entries, each a round
/// trip): only then do threads list ahead. A local disk lists a folder of a
/// hundred names in some 30 microseconds, and threads would only cost there.
constexpr auto kSlowListing = std::chrono::microseconds(250);
constexpr auto kSlowPerEntry = std::chrono::microseconds(1);

}  // namespace

void UnreadableFolders::Add(const std::string& path) {
    if (First.size() < kNamed)
        First.push_back(path);
    ++Count;
}

std::string UnreadableFolders::Notice() const {
    if (Count == 0)
        return {};
    std::string text = "読み取れないフォルダが " + std::to_string(Count) + " 個ありました。";
    text += "\r\nこれらのフォルダの画像は含まれていません。";
    for (const std::string& path : First)
        text += "\r\n'" + path + "'";
    if (Count > static_cast<int32_t>(First.size()))
        text += "\r\nほか " + std::to_string(Count - static_cast<int32_t>(First.size())) + " 個";
    return text;
}

struct FolderWalk::Node {
    DirEntry Entry;  // as its parent listed it; empty for the root
    enum class State { Idle, Listing, Listed } Status = State::Idle;
    bool Ahead = false;   // listed by a listing thread, counted in m_ahead until taken or dropped
    bool Orphan = false;  // dropped by the walk while a thread listed it
    bool Ok = false;
    FolderId Id;
    std::vector<DirEntry> Entries;
    std::vector<std::shared_ptr<Node>> Children;  // its subfolders in name order, once listed
};

namespace {

/// The subfolders a walk enters, in name order, from a folder's entries.
template <class NodePtr>
void MakeChildren(const std::vector<DirEntry>& entries, bool sorted, std::vector<NodePtr>& children) {
    std::vector<DirEntry> subs;
    for (const DirEntry& e : entries) {
        if (IsWalkedSubfolder(e))
            subs.push_back(e);
    }
    if (!sorted)
        SortByName(subs);
    children.reserve(subs.size());
    for (DirEntry& e : subs) {
        auto node = std::make_shared<typename NodePtr::element_type>();
        node->Entry = std::move(e);
        children.push_back(std::move(node));
    }
}

}  // namespace

FolderWalk::FolderWalk(const CancelToken& cancel, FileSystem& fs, RunObserver& obs, std::string root, Options options,
                       EnterHook onEnter)
    : m_cancel(cancel), m_fs(fs), m_obs(obs), m_options(options), m_onEnter(std::move(onEnter)), m_path(std::move(root)) {
    if (m_options.Threads <= 0)
        m_options.Threads = kListingThreads;
    // Listings taken from memory show no round trips, but the pictures of the
    // folders ahead still wait for them: their sizes are read as far ahead as before.
    if (m_options.Reuse && m_options.Reuse->SlowDrive())
        m_slowDrive = true;
}

FolderWalk::~FolderWalk() {
    m_threads.Stop();
    // Undone from the top, so that freeing a deep tree never recurses through it.
    while (!m_stack.empty())
        PopFrame();
    m_fs.ForgetOpenFolders();
}

bool FolderWalk::Cancelled() {
    m_obs.Yield();
    return m_cancel.Requested();
}

bool FolderWalk::Next() {
    // The caller is done with the last folder: its entries go before the next are listed.
    m_entries = {};
    if (!m_started) {
        m_started = true;
        m_root = std::make_shared<Node>();
        const Turn turn = Enter(m_root);
        if (turn == Turn::Unreadable && !m_cancel.Requested())
            m_unreadable.Add(m_path);
        return turn == Turn::Visit;
    }
    for (;;) {
        std::shared_ptr<Node> child;
        {
            std::lock_guard lock(m_mutex);
            while (!m_stack.empty() && m_stack.back().next >= m_stack.back().node->Children.size())
                PopFrame();
            if (m_stack.empty())
                return false;
            Frame& top = m_stack.back();
            child = top.node->Children[top.next++];
            if (top.next == top.node->Children.size())
                m_open.pop_back();  // the top frame is always the last with children left
            m_path.resize(top.pathLen);
            m_path.append(child->Entry.Name).push_back(kPathSep);
        }
        if (Cancelled())
            return false;
        if (child->Entry.IsLink && !MayEnterLink(*child)) {
            Drop(*child);
            continue;
        }
        const Turn turn = Enter(child);
        if (turn == Turn::Visit)
            return true;
        if (turn == Turn::Stop)
            return false;
        if (turn == Turn::Unreadable && !m_cancel.Requested()) {
            // Gone since its parent was listed is not unreadable: there is nothing to read.
            // Only the system saying so tells it: a damaged folder fails to be looked
            // up too (EIO, EUCLEAN), and is reported.
            std::string self = m_path;
            self.pop_back();
            const int err = m_fs.CheckFolder(self);
            if (err != ENOENT && err != ENOTDIR)
                m_unreadable.Add(m_path);
        }
    }
}

bool FolderWalk::MayEnterLink(Node& node) {
    {
        std::lock_guard lock(m_mutex);
        if (node.Status == Node::State::Listed && node.Ok)
            return !m_walked.Seen(node.Id);
    }
    return m_walked.MayEnter(m_fs, node.Entry, m_path);
}

FolderWalk::Turn FolderWalk::Enter(const std::shared_ptr<Node>& node) {
    if (m_onEnter)
        m_onEnter(m_path);
    if (Cancelled()) {
        Drop(*node);
        return Turn::Stop;
    }
    if (!TakeListing(*node)) {
        Drop(*node);
        if (m_cancel.Requested())
            return Turn::Stop;
        return Turn::Unreadable;
    }
    if (!m_walked.FirstVisit(node->Id)) {
        Drop(*node);
        return Turn::Skip;
    }
    std::lock_guard lock(m_mutex);
    m_entries = std::move(node->Entries);
    node->Entries = {};
    if (!m_options.Subfolders) {
        node->Children.clear();
        return Turn::Visit;
    }
    // Its subfolders are known now, so the threads may list them while the caller works on it.
    m_stack.push_back({node.get(), 0, m_path.size()});
    if (!node->Children.empty()) {
        m_open.push_back(m_stack.size() - 1);
        StartThreads();
        // One thread per new folder at most: waking all for a single subfolder costs more than its listing.
        for (size_t i = 0; i < node->Children.size() && i < m_threads.Count(); ++i)
            m_threads.WakeOne();
    } else if (m_threads.Empty() && !m_open.empty()) {
        // The drive may show itself slow in a run of folders without subfolders
        // (the days of an album): the ones still to come beside them are listed
        // ahead from now on, not only from the next folder that has some.
        StartThreads();
        m_threads.WakeAll();
    }
    return Turn::Visit;
}

bool FolderWalk::TakeListing(Node& node) {
    std::unique_lock lock(m_mutex);
    if (node.Status == Node::State::Listing) {
        // A thread is listing it: wait, staying responsive as a listing of our own would.
        const FileSystem::BetweenBatches pace = YieldWhileListing(m_cancel, m_obs);
        while (node.Status == Node::State::Listing) {
            if (m_listed.wait_for(lock, std::chrono::milliseconds(5)) == std::cv_status::no_timeout)
                continue;
            lock.unlock();
            const bool goOn = pace();
            lock.lock();
            if (!goOn)
                return false;
        }
    }
    if (node.Status == Node::State::Listed) {
        Release(node);
        if (node.Ok)
            return true;
        // It failed ahead of the walk: its turn decides, as in a walk without threads.
        node.Children.clear();
    }
    node.Status = Node::State::Listing;
    lock.unlock();
    return ListAtTurn(node);
}

bool FolderWalk::List(const std::string& path, std::vector<DirEntry>& entries, FolderId& id, bool sort,
                      const FileSystem::BetweenBatches& between) {
    if (m_options.Reuse && m_options.Reuse->Take(path, entries, id))
        return !sort || SortByNameBetween(entries, between);
    const bool ok = sort ? ListFolderSorted(m_fs, path, entries, &id, between)
                         : m_fs.ListFolderInBatches(path, entries, &id, between);
    if (ok && m_options.Keep)
        m_options.Keep->Keep(path, entries, id);
    return ok;
}

bool FolderWalk::ListAtTurn(Node& node) {
    std::vector<DirEntry> entries;
    FolderId id;
    const FileSystem::BetweenBatches pace = YieldWhileListing(m_cancel, m_obs);
    const auto began = std::chrono::steady_clock::now();
    const bool ok = List(m_path, entries, id, m_options.SortEntries, pace);
    // Three slow listings of the last four: one alone may be the machine being busy.
    const bool slow =
        std::chrono::steady_clock::now() - began > kSlowListing + kSlowPerEntry * static_cast<long>(entries.size());
    m_recentListings = static_cast<unsigned>((m_recentListings << 1) | (slow ? 1 : 0)) & 0xF;
    if (std::popcount(m_recentListings) >= 3 && !m_slowDrive) {
        m_slowDrive = true;
        if (m_options.Keep)
            m_options.Keep->MarkSlowDrive();
    }
    std::vector<std::shared_ptr<Node>> children;
    if (ok && m_options.Subfolders)
        MakeChildren(entries, m_options.SortEntries, children);
    std::lock_guard lock(m_mutex);
    node.Status = Node::State::Listed;
    node.Ok = ok;
    node.Id = id;
    node.Entries = std::move(entries);
    node.Children = std::move(children);
    return ok;
}

void FolderWalk::Release(Node& node) {
    if (node.Ahead) {
        node.Ahead = false;
        --m_ahead;
        m_heldEntries -= node.Entries.size();
        m_threads.WakeOne();
    }
}

void FolderWalk::GiveBack(Node& node) {
    // A listing in flight is counted off by its thread once done.
    if (node.Status == Node::State::Listing && node.Ahead)
        node.Orphan = true;
    else
        Release(node);
}

void FolderWalk::GiveBackBelow(Node& node) {
    // That part of the tree is only as deep as the listings ahead; a loop serves anyway.
    std::vector<Node*> pending;
    for (const auto& c : node.Children)
        pending.push_back(c.get());
    while (!pending.empty()) {
        Node* n = pending.back();
        pending.pop_back();
        GiveBack(*n);
        for (const auto& c : n->Children)
            pending.push_back(c.get());
    }
    node.Children.clear();
    node.Children.shrink_to_fit();
}

void FolderWalk::Drop(Node& node) {
    std::lock_guard lock(m_mutex);
    GiveBack(node);
    GiveBackBelow(node);
    node.Entries = {};
}

void FolderWalk::PopFrame() {
    // Children not entered (after a cancel) may hold listings ahead.
    GiveBackBelow(*m_stack.back().node);
    if (!m_open.empty() && m_open.back() == m_stack.size() - 1)
        m_open.pop_back();
    m_stack.pop_back();
}

void FolderWalk::StartThreads() {
    if (!m_threads.Empty() || m_options.Threads <= 1 || !m_fs.ListingsAreThreadSafe())
        return;
    if (!m_slowDrive && !m_options.AlwaysAhead)
        return;
    m_threads.Reserve(static_cast<size_t>(m_options.Threads));
    for (int i = 0; i < m_options.Threads; ++i)
        m_threads.Start([this] { Work(); });
}

std::shared_ptr<FolderWalk::Node> FolderWalk::PickAhead(std::string& path) {
    const size_t window = kAheadPerThread * static_cast<size_t>(m_options.Threads);
    if (m_ahead >= window || m_heldEntries >= kMaxHeldEntries)
        return nullptr;
    // The known folders in walk order: below the top frame's remaining children
    // first (and what was listed of their subtrees), then the frame under it.
    size_t passed = 0;
    std::vector<const Node*> chain;
    std::shared_ptr<Node> found;
    auto visit = [&](auto&& self, const std::shared_ptr<Node>& n) -> bool {
        if (n->Status == Node::State::Idle) {
            found = n;
            chain.push_back(n.get());
            return true;
        }
        if (++passed >= window)
            return true;  // far enough ahead
        if (n->Status != Node::State::Listed || !n->Ok)
            return false;
        chain.push_back(n.get());
        for (const auto& c : n->Children) {
            if (self(self, c))
                return true;
        }
        chain.pop_back();
        return false;
    };
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
        const Frame& f = m_stack[*it];
        for (size_t i = f.next; i < f.node->Children.size(); ++i) {
            if (!visit(visit, f.node->Children[i]))
                continue;
            if (!found)
                return nullptr;
            path.assign(m_path, 0, f.pathLen);
            for (const Node* n : chain)
                path.append(n->Entry.Name).push_back(kPathSep);
            return found;
        }
    }
    return nullptr;
}

void FolderWalk::PeekAhead(const AheadVisitor& see) {
    std::lock_guard lock(m_mutex);
    std::string path;
    auto visit = [&](auto&& self, const Node& n) -> bool {
        if (n.Status != Node::State::Listed || !n.Ok)
            return false;
        const size_t length = path.size();
        path.append(n.Entry.Name).push_back(kPathSep);
        bool goOn = see(path, n.Entries);
        for (size_t i = 0; goOn && i < n.Children.size(); ++i)
            goOn = self(self, *n.Children[i]);
        path.resize(length);
        return goOn;
    };
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
        const Frame& f = m_stack[*it];
        path.assign(m_path, 0, f.pathLen);
        for (size_t i = f.next; i < f.node->Children.size(); ++i) {
            if (!visit(visit, *f.node->Children[i]))
                return;
        }
    }
}

void FolderWalk::Work() {
    std::string path;
    const FileSystem::BetweenBatches goOn = [this] { return !m_threads.Stopping(); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Node> node;
        if (!m_threads.WaitForWork(lock, [&] { return (node = PickAhead(path)) != nullptr; }))
            return;
        node->Status = Node::State::Listing;
        node->Ahead = true;
        ++m_ahead;
        lock.unlock();

        std::vector<DirEntry> entries;
        FolderId id;
        const bool ok = List(path, entries, id, m_options.SortEntries, goOn);
        std::vector<std::shared_ptr<Node>> children;
        if (ok && m_options.Subfolders)
            MakeChildren(entries, m_options.SortEntries, children);

        lock.lock();
        if (node->Orphan) {
            --m_ahead;
        } else {
            node->Ok = ok;
            node->Id = id;
            node->Entries = std::move(entries);
            node->Children = std::move(children);
            m_heldEntries += node->Entries.size();
        }
        node->Status = Node::State::Listed;
        node->Ahead = !node->Orphan;
        m_listed.notify_all();
        m_threads.WakeOne();  // its subfolders may be next
    }
}

}  // namespace kavo
