#include "cli/run_events.h"

void RunEventStream::Subscribe(RunEventSink* sink) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_sinks.push_back(sink);
}

void RunEventStream::Take(const RunEvent& event) {
    Each([&](RunEventSink& sink) { sink.Take(event); });
}

void RunEventStream::Follow() {
    Each([](RunEventSink& sink) { sink.Follow(); });
}

void RunEventStream::BreakLine() {
    Each([](RunEventSink& sink) { sink.BreakLine(); });
}
