// platform_support.h -- what the platform tests share: the application made lazily
// (never while gtest only lists the tests), a procedure that records every message,
// and a way to answer the next modal window from inside its own loop.
#pragma once
#include "platform.h"
#include "qt_internal.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

struct Message {
    WindowHandle window;
    uint32_t     message;
    uintptr_t    wParam;
    intptr_t     lParam;
};

// Every message of every window made with record_proc, in order.
inline std::vector<Message> &recorded()
{
    static std::vector<Message> messages;
    return messages;
}

inline intptr_t record_proc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    recorded().push_back(Message{window, message, wParam, lParam});
    return 1;
}

inline int count_messages(WindowHandle window, uint32_t message)
{
    int n = 0;
    for (const Message &m : recorded())
        if (m.window == window && m.message == message) ++n;
    return n;
}

inline std::vector<uintptr_t> commands_of(WindowHandle window)
{
    std::vector<uintptr_t> out;
    for (const Message &m : recorded())
        if (m.window == window && m.message == MSG_COMMAND) out.push_back(m.wParam);
    return out;
}

// Runs answer once on the first modal widget of type T that opens (inside its exec).
// A modal window that nobody answers is rejected after five seconds, so that a
// failing test fails instead of hanging.
template <typename T> void answer_next_modal(std::function<void(T *)> answer)
{
    auto *poll = new QTimer(qApp);
    auto polls = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer, polls] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *wanted = qobject_cast<T *>(modal)) {
            poll->stop();
            poll->deleteLater();
            answer(wanted);
        } else if (++*polls > 250) {
            poll->stop();
            poll->deleteLater();
            if (auto *dialog = qobject_cast<QDialog *>(modal)) dialog->reject();
        }
    });
    poll->start(20);
}

// Runs the event loop until done() holds or timeoutMs passes.
inline bool wait_until(const std::function<bool()> &done, int timeoutMs = 3000)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (done()) return true;
        process_events(20);
    }
    return done();
}
