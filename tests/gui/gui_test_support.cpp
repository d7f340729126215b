#include "gui_test_support.h"

#include <QSettings>
#include <QTimer>

namespace kavo::test {

MessageRecorder::MessageRecorder() {
    SetMessageBoxHook([this](const MessageBoxCall& call) {
        boxes.push_back(call);
        events << call.Text;
    });
    SetBeepHook([this] { events << QStringLiteral("beep"); });
}

MessageRecorder::~MessageRecorder() {
    SetMessageBoxHook({});
    SetBeepHook({});
}

EveryYield::EveryYield(std::function<bool()> action) : m_timer(new QTimer) {
    m_timer->setInterval(0);
    QObject::connect(m_timer, &QTimer::timeout, [this, action] {
        if (action())
            m_timer->stop();
    });
    m_timer->start();
}

EveryYield::~EveryYield() {
    delete m_timer;
}

void ClearPositionStore() {
    QSettings store(QStringLiteral("Marlun"), QStringLiteral("Kavo"));
    store.clear();
    store.sync();
}

}  // namespace kavo::test
