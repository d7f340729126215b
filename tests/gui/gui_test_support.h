#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "platform/message_box.h"

namespace kavo::test {

/// Answers every message box and records it, with the beeps, in the order
/// they came. Restores the real ones when it goes.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<MessageBoxCall> boxes;
    /// "beep" and the text of each box, in order.
    QStringList events;

    void clear() {
        boxes.clear();
        events.clear();
    }
};

/// Runs `action` at every pass of the event loop (the progress windows pass
/// through it at each yield) until it returns true; stops when it goes.
class EveryYield {
public:
    explicit EveryYield(std::function<bool()> action);
    ~EveryYield();
    EveryYield(const EveryYield&) = delete;
    EveryYield& operator=(const EveryYield&) = delete;

private:
    class QTimer* m_timer;
};

/// Removes the position store of the tests.
void ClearPositionStore();

}  // namespace kavo::test
