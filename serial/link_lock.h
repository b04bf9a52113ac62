#pragma once
// The link lock: one process-wide recursive lock that guards the link objects, the port registry,
// every port, every client list and every receive ring. A transaction holds it for its whole wait,
// and the layers below take it again inside, hence recursive.

#include <mutex>

std::recursive_mutex& LinkLock();

class CLinkLockGuard {
public:
    CLinkLockGuard() : m_guard(LinkLock()) {}

private:
    std::lock_guard<std::recursive_mutex> m_guard;
};
