#pragma once
// Carries calls from the worker thread to the window's thread and waits for them.
//
// The worker's display calls and message boxes must run on the thread that owns the windows, in
// order, and must have taken effect when they return. Run() queues a call, wakes the window's
// thread and waits; the window's thread runs what is queued in Drain(), from its event loop and
// also while it waits for the worker to end, so that closing can never deadlock against a worker
// that is waiting for a display call.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CUiCallQueue {
public:
    // wake asks the window's thread to call Drain() soon (for example through its event loop).
    explicit CUiCallQueue(std::function<void()> wake = nullptr);

    // The thread that owns the windows; calls from it run at once.
    void SetUiThread(std::thread::id id) { m_uiThread = id; }
    bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }

    // Runs call on the window's thread and returns when it has run.
    void Run(const std::function<void()>& call);

    // Runs every queued call, in order. Window's thread only.
    void Drain();

    void SetWake(std::function<void()> wake) { m_wake = std::move(wake); }

private:
    struct Pending {
        const std::function<void()>* call;
        bool done;
    };
    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    std::deque<Pending*> m_queue;
    std::function<void()> m_wake;
    std::thread::id m_uiThread = std::this_thread::get_id();
};
