#include "cli/json_events.h"

#include "loader/run_result.h"

namespace {

// Enough for a live display, few enough that a station's log stays small.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

} // namespace

JsonEvents::JsonEvents(FILE* out, std::string port, Clock::time_point start)
    : m_out(out), m_port(std::move(port)), m_start(start) {}

JsonObject JsonEvents::Event(const char* name) const {
    JsonObject object;
    object.AddString("event", name).AddString("port", m_port);
    object.AddNumber("seconds", std::chrono::duration<double>(Clock::now() - m_start).count(), 3);
    return object;
}

void JsonEvents::Write(const JsonObject& object) {
    if (!m_out) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    // One write per line, flushed: a reader on a pipe gets whole lines as they happen.
    const std::string line = object.Line();
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

void JsonEvents::Begin(const std::string& file, uint64_t totalBytes, int lines) {
    if (On()) {
        Write(Event("begin")
                  .AddString("file", file)
                  .AddInt("bytes_total", static_cast<int64_t>(totalBytes))
                  .AddInt("lines", lines));
    }
}

void JsonEvents::Warning(const char* what, int line, int lastLine, const std::string& text) {
    if (On()) {
        Write(Event("warning")
                  .AddString("what", what)
                  .AddInt("line", line)
                  .AddInt("last_line", lastLine)
                  .AddString("text", text));
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_warnings;
    }
}

void JsonEvents::CountWarningsTold(int count) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_warnings += count;
}

void JsonEvents::Waiting(const std::string& path, double waitSeconds) {
    if (On()) {
        Write(Event("waiting").AddString("path", path).AddNumber("wait_seconds", waitSeconds, 3));
    }
}

void JsonEvents::Phase(const char* phase, int baud) {
    if (!On()) {
        return;
    }
    JsonObject object = Event("phase").AddString("phase", phase);
    if (baud > 0) {
        object.AddInt("baud", baud);
    }
    Write(object);
    std::lock_guard<std::mutex> guard(m_mutex);
    m_lastProgress = Clock::time_point{};
}

bool JsonEvents::ProgressDue(bool force) {
    if (!On()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    const Clock::time_point now = Clock::now();
    if (!force && now - m_lastProgress < kProgressInterval) {
        return false;
    }
    m_lastProgress = now;
    return true;
}

void JsonEvents::ErasingProgress(int cluster, int clusters) {
    Write(Event("progress")
              .AddString("phase", "erasing")
              .AddInt("percent", clusters > 0 ? 100 * cluster / clusters : 0)
              .AddInt("cluster", cluster)
              .AddInt("clusters", clusters));
}

void JsonEvents::ProgrammingProgress(uint64_t bytes, uint64_t totalBytes, int blocks, double rate) {
    JsonObject object = Event("progress").AddString("phase", "programming");
    object.AddInt("percent", totalBytes > 0 ? static_cast<int64_t>(100 * bytes / totalBytes) : 0)
        .AddInt("bytes", static_cast<int64_t>(bytes))
        .AddInt("bytes_total", static_cast<int64_t>(totalBytes))
        .AddInt("blocks", blocks)
        .AddNumber("rate", rate, 0);
    if (rate > 0 && totalBytes >= bytes) {
        object.AddNumber("seconds_left", (totalBytes - bytes) / rate, 1);
    } else {
        object.AddNull("seconds_left");
    }
    Write(object);
}

void JsonEvents::Result(int exitCode, const std::string& message, const CRunResult* result) {
    if (!On()) {
        return;
    }
    JsonObject object = Event("result");
    object.AddInt("exit_code", exitCode).AddString("message", message);
    object.AddInt("bytes", result ? static_cast<int64_t>(result->m_nBytesWritten.load()) : 0);
    object.AddInt("blocks", result ? result->m_nBlocksWritten.load() : 0);
    if (result && result->m_nAnsweredRate > 0) {
        object.AddInt("baud", result->m_nAnsweredRate);
    } else {
        object.AddNull("baud");
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        object.AddInt("warnings", m_warnings);
    }
    Write(object);
}
