#include "cli/json_events.h"

#include "loader/run_result.h"

#include <cmath>
#include <limits>

using Json = nlohmann::ordered_json;

namespace {

// Enough for a live display, few enough that a station's log stays small.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

struct EventName {
    RunEvent::Kind kind;
    const char* name;
};

const EventName kEventNames[] = {
    {RunEvent::Kind::kWarning, "warning"},      {RunEvent::Kind::kBegin, "begin"},
    {RunEvent::Kind::kWaiting, "waiting"},      {RunEvent::Kind::kPhase, "phase"},
    {RunEvent::Kind::kProgress, "progress"},    {RunEvent::Kind::kResult, "result"},
    {RunEvent::Kind::kBoardGone, "board_gone"},
};

const char* NameOf(RunEvent::Kind kind) {
    for (const EventName& e : kEventNames) {
        if (e.kind == kind) {
            return e.name;
        }
    }
    return nullptr; // not written: the end of the worker's run is the display's business
}

// A member of a line read back: its value when it has the type an event gives it, otherwise the
// fallback. A child's line is not trusted to have the types it should.
double NumberOr(const Json& object, const char* key, double fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<double>() : fallback;
}

int IntOr(const Json& object, const char* key, int fallback) {
    const double value = NumberOr(object, key, fallback);
    constexpr double kMax = std::numeric_limits<int>::max();
    return static_cast<int>(std::fmax(-kMax, std::fmin(kMax, std::trunc(value))));
}

uint64_t CountOr(const Json& object, const char* key, uint64_t fallback) {
    const double value = NumberOr(object, key, static_cast<double>(fallback));
    // Above 2^63 a double no longer converts; no file holds that many bytes.
    return value > 0 ? static_cast<uint64_t>(std::fmin(value, 9.2e18)) : 0;
}

std::string StringOr(const Json& object, const char* key, const std::string& fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

} // namespace

std::string JsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json JsonNumber(double value, int decimals) {
    if (!std::isfinite(value)) {
        return nullptr;
    }
    constexpr double kWhole = 9e15; // beyond this a double has no digits after the point
    if (std::fabs(value) >= kWhole) {
        return value;
    }
    if (decimals == 0) {
        return static_cast<int64_t>(std::llround(value));
    }
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    // A duration or a rate that rounds to nothing is 0, not -0.0.
    return rounded == 0 ? Json(0) : Json(rounded);
}

bool ReadRunEvent(const std::string& line, RunEvent* event) {
    const Json object = Json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return false;
    }
    *event = RunEvent();
    const std::string name = StringOr(object, "event", "");
    for (const EventName& e : kEventNames) {
        if (name == e.name) {
            event->kind = e.kind;
        }
    }
    event->phase = StringOr(object, "phase", "");
    event->baud = IntOr(object, "baud", 0);
    event->percent = IntOr(object, "percent", -1);
    event->cluster = IntOr(object, "cluster", 0);
    event->clusters = IntOr(object, "clusters", 0);
    event->bytes = CountOr(object, "bytes", 0);
    event->bytesTotal = CountOr(object, "bytes_total", 0);
    event->blocks = IntOr(object, "blocks", 0);
    event->rate = NumberOr(object, "rate", 0);
    event->secondsLeft = NumberOr(object, "seconds_left", -1);
    event->file = StringOr(object, "file", "");
    event->lines = IntOr(object, "lines", 0);
    event->path = StringOr(object, "path", "");
    event->waitSeconds = NumberOr(object, "wait_seconds", 0);
    event->what = StringOr(object, "what", "");
    event->line = IntOr(object, "line", 0);
    event->lastLine = IntOr(object, "last_line", 0);
    event->text = StringOr(object, "text", "");
    event->exitCode = IntOr(object, "exit_code", -1);
    event->message = StringOr(object, "message", "");
    event->board = IntOr(object, "board", 0);
    return true;
}

JsonEvents::JsonEvents(FILE* out, std::string port, Clock::time_point start)
    : m_out(out), m_port(std::move(port)), m_start(start) {}

Json JsonEvents::Event(const char* name) const {
    Json object{{"event", name}, {"port", m_port}};
    const int board = m_board;
    if (board > 0) {
        object["board"] = board;
    }
    object["seconds"] =
        JsonNumber(std::chrono::duration<double>(Clock::now() - m_start).count(), 3);
    return object;
}

void JsonEvents::Write(const Json& object) {
    std::lock_guard<std::mutex> guard(m_mutex);
    // One write per line, flushed: a reader on a pipe gets whole lines as they happen.
    const std::string line = JsonLine(object);
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

void JsonEvents::Take(const RunEvent& e) {
    const char* name = NameOf(e.kind);
    if (!m_out || !name) {
        return;
    }
    const bool programming = e.kind == RunEvent::Kind::kProgress && e.phase == "programming";
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const Clock::time_point now = Clock::now();
        if (programming && !e.last && now - m_lastProgress < kProgressInterval) {
            return;
        }
        if (programming) {
            m_lastProgress = now;
        } else if (e.kind == RunEvent::Kind::kPhase) {
            m_lastProgress = Clock::time_point{};
        } else if (e.kind == RunEvent::Kind::kWarning) {
            ++m_warnings;
        }
    }
    Json object = Event(name);
    switch (e.kind) {
    case RunEvent::Kind::kWarning:
        object["what"] = e.what;
        object["line"] = e.line;
        object["last_line"] = e.lastLine;
        object["text"] = e.text;
        break;
    case RunEvent::Kind::kBegin:
        object["file"] = e.file;
        object["bytes_total"] = e.bytesTotal;
        object["lines"] = e.lines;
        break;
    case RunEvent::Kind::kWaiting:
        object["path"] = e.path;
        // null: without limit (a station's slot waits for its next board)
        object["wait_seconds"] = e.waitSeconds > 0 ? JsonNumber(e.waitSeconds, 3) : nullptr;
        break;
    case RunEvent::Kind::kPhase:
        object["phase"] = e.phase;
        if (e.baud > 0) {
            object["baud"] = e.baud;
        }
        break;
    case RunEvent::Kind::kProgress:
        object["phase"] = e.phase;
        object["percent"] = e.percent;
        if (programming) {
            object["bytes"] = e.bytes;
            object["bytes_total"] = e.bytesTotal;
            object["blocks"] = e.blocks;
            object["rate"] = JsonNumber(e.rate, 0);
            object["seconds_left"] = e.secondsLeft >= 0 ? JsonNumber(e.secondsLeft, 1) : nullptr;
        } else {
            object["cluster"] = e.cluster;
            object["clusters"] = e.clusters;
        }
        break;
    case RunEvent::Kind::kResult: {
        object["exit_code"] = e.exitCode;
        object["message"] = e.message;
        object["bytes"] = e.bytes;
        object["blocks"] = e.blocks;
        object["baud"] = e.baud > 0 ? Json(e.baud) : Json(nullptr);
        std::lock_guard<std::mutex> guard(m_mutex);
        object["warnings"] = m_warnings;
        break;
    }
    default:
        break;
    }
    Write(object);
}

void JsonEvents::CountWarningsTold(int count) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_warnings += count;
}

void JsonEvents::Result(int exitCode, const std::string& message, const CRunResult* result) {
    RunEvent event(RunEvent::Kind::kResult);
    event.exitCode = exitCode;
    event.message = message;
    if (result) {
        event.bytes = result->m_nBytesWritten;
        event.blocks = result->m_nBlocksWritten;
        event.baud = result->m_nAnsweredRate;
    }
    Take(event);
}
