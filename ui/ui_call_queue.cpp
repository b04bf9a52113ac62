#include "ui/ui_call_queue.h"

CUiCallQueue::CUiCallQueue(std::function<void()> wake) : m_wake(std::move(wake)) {}

void CUiCallQueue::Run(const std::function<void()>& call) {
    if (OnUiThread()) {
        call();
        return;
    }
    Pending pending{&call, false};
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_queue.push_back(&pending);
    }
    if (m_wake) {
        m_wake();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_doneChanged.wait(lock, [&pending] { return pending.done; });
}

void CUiCallQueue::Drain() {
    for (;;) {
        Pending* pending = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_queue.empty()) {
                return;
            }
            pending = m_queue.front();
            m_queue.pop_front();
        }
        (*pending->call)();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            pending->done = true;
        }
        m_doneChanged.notify_all();
    }
}
