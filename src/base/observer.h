#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

/// Figures of the generation window after one directory entry.
struct ProgressFigures {
    int32_t Placed = 0;    // WrittenImageCount
    int32_t Selected = 0;  // SelectedImageCount
    int32_t Percent = 0;   // rounded half to even; kept while Selected is 0
};

/// What a message to the user is; the front-ends count and group by it.
enum class MessageKind {
    WriteFailure,  // a file or folder of the catalogue could not be written
    Refusal,       // the run wrote nothing, and says why
    Notice,        // something to look at; the run went on
    Information,   // for the user's information only
};

/// How a message to the user looks in the window.
enum class MessageIcon { Exclamation, Information };

constexpr MessageIcon IconOf(MessageKind kind) {
    return kind == MessageKind::Information ? MessageIcon::Information : MessageIcon::Exclamation;
}

/// Interface through which the core reports to whoever drives it (the windows,
/// the command line, the tests). The core never prints and never shows a window.
///
/// The core calls Yield() at every point where the interface may process
/// pending input (before each folder, before each subfolder, before each
/// directory entry) and reads the run's CancelToken right after it.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    virtual void Yield() = 0;

    /// Status line: the scan window's label, or the generation window's file label.
    virtual void ShowStatus(std::string_view /*text*/) {}

    /// After every directory entry of a generation.
    virtual void ShowProgress(const ProgressFigures& /*figures*/) {}

    /// A message box with a single OK button. Title is "Kavo" unless given.
    virtual void ShowMessage(std::string_view /*text*/, MessageKind /*kind*/, std::string_view /*title*/) {}
};

/// Observer that does nothing; for callers that need none.
class NullObserver : public RunObserver {
public:
    void Yield() override {}
};

}  // namespace kavo
