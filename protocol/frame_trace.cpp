#include "protocol/frame_trace.h"

#include <atomic>

namespace {

std::atomic<FrameTraceFunction> g_trace{nullptr};

} // namespace

void SetFrameTrace(FrameTraceFunction trace) {
    g_trace.store(trace);
}

FrameTraceFunction GetFrameTrace() {
    return g_trace.load(std::memory_order_relaxed);
}
