#include "cli/parallel_load.h"

#include "cli/checked_file.h"
#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/load_log.h"
#include "cli/missing_result.h"
#include "cli/port_board.h"
#include "cli/user_messages.h"
#include "loader/run_result.h"
#include "loader/sha256.h"
#include "platform/child_process.h"
#include "platform/com_map.h"
#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/shared_counts.h"
#include "platform/temp_file.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

constexpr int kLookIntervalMs = 100;
// A child that cannot be started has this code, as in a shell.
constexpr int kExitChildNotStarted = 127;

std::string DevicePathOfPort(const std::string& port);

struct Station {
    PortState state;
    CChildProcess child;
    std::string outBuffer, errBuffer; // what came after the last complete line
    bool haveResult = false;
    bool done = false;
    int processExitCode = -1;
    // When the load of the slot's board began (its first erase), for its record.
    std::chrono::steady_clock::time_point boardStart;
};

// The figures a child's last events gave: the device holds at least those.
void SetFigures(const PortState& state, CRunResult* figures) {
    figures->m_nBytesWritten = state.bytes;
    figures->m_nBlocksWritten = state.blocks;
    figures->m_nAnsweredRate = state.baud;
}

class ParallelLoad {
public:
    // checkedCopy: the file as the parent read and checked it, for every child.
    // log: where the records of children that end without a result go; sha256: the file's.
    ParallelLoad(const CliOptions& o, const std::string& checkedCopy,
                 std::vector<PortState>* states, PortBoard* board, CLoadLog* log,
                 const std::string& sha256)
        : m_options(o), m_checkedCopy(checkedCopy), m_states(states), m_board(board), m_log(log),
          m_sha256(sha256) {}

    int Run(const std::string& program);
    // A station: the counts its slots share.
    void ShareCounts(CSharedCounts* counts) { m_counts = counts; }

private:
    void Start(const std::string& program);
    void Serve(size_t index);
    void TakeLines(size_t index, std::string* buffer, bool fromStdout, bool atEnd);
    void StdoutLine(size_t index, const std::string& line);
    void EndWithoutResult(size_t index);
    void RecordWithoutResult(size_t index, int exitCode, std::string* message,
                             const CRunResult& figures);
    void EndSlot(size_t index);
    void BoardEnded(size_t index, int exitCode, const std::string& message);
    int Summary(bool interrupted);
    int StationSummary();

public:
    std::string TotalLine() const;

private:
    const CliOptions& m_options;
    const std::string m_checkedCopy;
    // When the load began: every port's result counts its seconds from here.
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::vector<PortState>* const m_states;
    PortBoard* const m_board;
    CLoadLog* const m_log;
    CSharedCounts* m_counts = nullptr; // a station's, shared with its slots
    const std::string m_sha256;
    bool m_logFailed = false; // a record could not be written, here or by a child
    std::vector<std::unique_ptr<Station>> m_stations;
    int m_forwarded = 0; // interrupts passed on to the children
};

void ParallelLoad::Start(const std::string& program) {
    for (size_t i = 0; i < m_options.ports.size(); ++i) {
        auto station = std::make_unique<Station>();
        std::vector<std::string> argv =
            ChildArguments(m_options, m_options.ports[i], m_checkedCopy);
        argv.insert(argv.begin(), program);
        std::string error;
        if (!station->child.Start(argv, &error)) {
            station->done = true;
            station->processExitCode = kExitChildNotStarted;
            m_stations.push_back(std::move(station));
            (*m_states)[i].message = "tovik-cli could not be started: " + error;
            EndWithoutResult(i);
            continue;
        }
        m_stations.push_back(std::move(station));
    }
}

void ParallelLoad::StdoutLine(size_t index, const std::string& line) {
    RunEvent event;
    PortState& state = (*m_states)[index];
    if (!ReadRunEvent(line, &event)) {
        m_board->Note(state.port + ": " + line);
        return;
    }
    if (m_options.json) {
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    }
    m_stations[index]->haveResult |= event.kind == RunEvent::Kind::kResult;
    const bool wasInLoad = state.inLoad;
    const bool notable = ApplyEvent(event, &state);
    if (state.inLoad && !wasInLoad) {
        m_stations[index]->boardStart = std::chrono::steady_clock::now();
    }
    m_board->Changed(index, notable);
    if (state.station && event.kind == RunEvent::Kind::kResult) {
        BoardEnded(index, event.exitCode, event.message);
    }
}

void ParallelLoad::BoardEnded(size_t index, int exitCode, const std::string& message) {
    const PortState& state = (*m_states)[index];
    if (exitCode != 0) {
        m_board->Note(state.port + " board " + std::to_string(state.board) + ": " +
                      (exitCode == kExitInterrupted ? "stopped: " : "FAILED: ") +
                      OnOneLine(message));
    }
    m_board->ShowTotal();
}

std::string ParallelLoad::TotalLine() const {
    int passed = 0, failed = 0;
    for (const PortState& s : *m_states) {
        passed += s.passed;
        failed += s.failed + s.stopped;
    }
    const double hours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count() / 3600;
    char line[128];
    std::snprintf(line, sizeof line, "total  passed %d  failed %d  %.0f boards/hour", passed,
                  failed, hours > 0 ? passed / hours : 0.0);
    return line;
}

void ParallelLoad::TakeLines(size_t index, std::string* buffer, bool fromStdout, bool atEnd) {
    size_t start = 0;
    for (size_t end; (end = buffer->find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = buffer->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (fromStdout) {
            StdoutLine(index, line);
        } else if (!line.empty()) {
            m_board->Note((*m_states)[index].port + ": " + line);
        }
    }
    buffer->erase(0, start);
    if (atEnd && !buffer->empty()) {
        buffer->push_back('\n');
        TakeLines(index, buffer, fromStdout, false);
    }
}

void ParallelLoad::EndWithoutResult(size_t index) {
    Station& station = *m_stations[index];
    PortState& state = (*m_states)[index];
    if (state.station) {
        EndSlot(index);
        return;
    }
    if (state.message.empty()) {
        state.message = MissingResultMessage(state, station.processExitCode, m_forwarded > 1);
    }
    state.ended = true;
    state.exitCode = station.processExitCode;
    // Every port gets its one result line and record, whatever became of its child.
    CRunResult figures;
    SetFigures(state, &figures);
    RecordWithoutResult(index, station.processExitCode, &state.message, figures);
    if (m_options.json) {
        JsonEvents events(stdout, state.port, m_start);
        events.CountWarningsTold(state.warnings);
        events.Result(station.processExitCode, state.message, &figures);
    }
    m_board->Changed(index, true);
}

// The record of the load a child could not finish telling (a station's: of the board it was
// loading); a record that cannot be written adds its sentence to the message.
void ParallelLoad::RecordWithoutResult(size_t index, int exitCode, std::string* message,
                                       const CRunResult& figures) {
    const PortState& state = (*m_states)[index];
    if (!m_log->IsOpen()) {
        return;
    }
    LoadRecord record = m_log->NewRecord(state.port);
    record.sha256 = m_sha256;
    SetRecordDevice(DevicePathOfPort(state.port), &record);
    SetRecordResult(exitCode, *message, &figures, &record);
    record.board = state.station ? state.board : 0;
    const auto start = state.station ? m_stations[index]->boardStart : m_start;
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    if (!m_log->Append(record, &error)) {
        m_logFailed = true;
        // No slot begins another board, which would have no record either.
        SharedCounts counts;
        if (m_counts != nullptr) {
            m_counts->Update([](SharedCounts& c) { c.closing = 1; }, &counts);
        }
        *message += "\n" + error;
        m_board->Note(state.port + ": tovik-cli: " + error);
    }
}

void ParallelLoad::Serve(size_t index) {
    Station& station = *m_stations[index];
    if (station.done) {
        return;
    }
    station.child.Read(&station.outBuffer, &station.errBuffer);
    int exitCode = -1;
    const bool ended = station.child.OutputEnded() && station.child.Ended(&exitCode);
    TakeLines(index, &station.outBuffer, true, ended);
    TakeLines(index, &station.errBuffer, false, ended);
    if (!ended) {
        return;
    }
    station.done = true;
    station.processExitCode = exitCode;
    // A slot has a result per board: whatever it told, its end is the station's to show, and a
    // board it was loading still gets its result and record.
    if (!station.haveResult || (*m_states)[index].station) {
        EndWithoutResult(index);
    }
}

// A slot's child ended. A board it was loading gets its result here, from the figures of the
// child's last events; the slot shows how its child ended.
void ParallelLoad::EndSlot(size_t index) {
    Station& station = *m_stations[index];
    PortState& state = (*m_states)[index];
    if (state.inLoad) {
        std::string message = MissingResultMessage(state, station.processExitCode, m_forwarded > 1);
        CRunResult figures;
        SetFigures(state, &figures);
        RecordWithoutResult(index, station.processExitCode, &message, figures);
        if (m_options.json) {
            JsonEvents events(stdout, state.port, m_start);
            events.SetBoard(state.board);
            events.Result(station.processExitCode, message, &figures);
        }
        CountBoard(&state, station.processExitCode, message);
        BoardEnded(index, station.processExitCode, message);
    }
    state.phase = station.processExitCode == 0 || station.processExitCode == kExitInterrupted
                      ? "ended"
                      : "ended (exit " + std::to_string(station.processExitCode) + ")";
    m_board->Changed(index, true);
}

// The end of a station: what every slot did, and the exit code: a record that could not be
// written goes before a load an interrupt cut short, and that before a board that failed.
int ParallelLoad::StationSummary() {
    int passed = 0, failed = 0, stopped = 0;
    bool logFailed = m_logFailed, slotFailed = false;
    nlohmann::ordered_json ports = nlohmann::ordered_json::array();
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const PortState& s = (*m_states)[i];
        const int code = m_stations[i]->processExitCode;
        passed += s.passed;
        failed += s.failed;
        stopped += s.stopped;
        logFailed |= code == kExitLogFailed;
        slotFailed |= code != 0 && code != kExitInterrupted && code != kExitSomeFailed;
        ports.push_back(
            {{"port", s.port}, {"passed", s.passed}, {"failed", s.failed}, {"stopped", s.stopped}});
    }
    const int exitCode = logFailed                  ? kExitLogFailed
                         : stopped > 0              ? kExitInterrupted
                         : failed > 0 || slotFailed ? kExitSomeFailed
                                                    : 0;
    FILE* out = m_options.json ? stderr : stdout;
    std::fprintf(out, "tovik-cli: station ended: %d passed, %d failed, %d stopped\n", passed,
                 failed, stopped);
    size_t width = 0;
    for (const PortState& s : *m_states) {
        width = std::max(width, s.port.size());
    }
    for (size_t i = 0; i < m_stations.size(); ++i) {
        const PortState& s = (*m_states)[i];
        const int code = m_stations[i]->processExitCode;
        std::fprintf(out, "  %-*s  passed %d  failed %d  stopped %d%s\n", static_cast<int>(width),
                     s.port.c_str(), s.passed, s.failed, s.stopped,
                     code == 0 || code == kExitInterrupted || code == kExitSomeFailed
                         ? ""
                         : ("  (slot ended with exit " + std::to_string(code) + ")").c_str());
    }
    std::fflush(out);
    if (m_options.json) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const nlohmann::ordered_json summary = {
            {"event", "summary"},    {"seconds", JsonNumber(seconds, 3)},
            {"exit_code", exitCode}, {"passed", passed},
            {"failed", failed},      {"stopped", stopped},
            {"ports", ports}};
        std::fputs(JsonLine(summary).c_str(), stdout);
        std::fflush(stdout);
    }
    return exitCode;
}

int ParallelLoad::Summary(bool interrupted) {
    if (m_options.station) {
        return StationSummary();
    }
    int failed = 0;
    for (size_t i = 0; i < m_stations.size(); ++i) {
        failed += m_stations[i]->processExitCode != 0;
        m_logFailed |= m_stations[i]->processExitCode == kExitLogFailed;
    }
    FILE* out = m_options.json ? stderr : stdout;
    const size_t ports = m_stations.size();
    if (failed == 0) {
        std::fprintf(out, "tovik-cli: all %zu devices loaded\n", ports);
    } else {
        std::fprintf(out, "tovik-cli: %s (%d of %zu)\n",
                     interrupted ? "stopped" : "some devices failed", failed, ports);
    }
    size_t width = 0;
    for (const PortState& s : *m_states) {
        width = std::max(width, s.port.size());
    }
    for (size_t i = 0; i < ports; ++i) {
        PortState& s = (*m_states)[i];
        const std::string message = OnOneLine(s.message);
        // The process's own code: a result line and the exit can only differ if the child broke
        // down after it wrote the line.
        std::fprintf(out, "  %-*s  exit %-3d  %s\n", static_cast<int>(width), s.port.c_str(),
                     m_stations[i]->processExitCode, message.c_str());
    }
    std::fflush(out);
    const int exitCode = m_logFailed   ? kExitLogFailed
                         : failed == 0 ? 0
                         : interrupted ? kExitInterrupted
                                       : kExitSomeFailed;
    if (m_options.json) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const nlohmann::ordered_json summary = {{"event", "summary"},
                                                {"seconds", JsonNumber(seconds, 3)},
                                                {"exit_code", exitCode},
                                                {"ports", ports},
                                                {"failed", failed}};
        std::fputs(JsonLine(summary).c_str(), stdout);
        std::fflush(stdout);
    }
    return exitCode;
}

int ParallelLoad::Run(const std::string& program) {
    // Every interrupt is counted and passed on; the children stop after the command in flight, a
    // second one ends each child at once. The parent itself always waits for its children.
    InstallInterruptHandlers("", -1);
    Start(program);
    for (;;) {
        std::vector<CChildProcess*> running;
        for (auto& station : m_stations) {
            if (!station->done) {
                running.push_back(&station->child);
            }
        }
        if (running.empty()) {
            break;
        }
        CChildProcess::WaitForOutput(running, kLookIntervalMs);
        for (size_t i = 0; i < m_stations.size(); ++i) {
            Serve(i);
        }
        m_board->Refresh();
        const int interrupts = InterruptCount();
        for (; m_forwarded < interrupts; ++m_forwarded) {
            for (CChildProcess* child : running) {
                child->Interrupt();
            }
        }
    }
    m_board->Finish();
    return Summary(InterruptCount() > 0);
}

// The device a child opens for port: a COM name goes through the COM table as a child's does,
// the profile's entries above COM8 included.
std::string DevicePathOfPort(const std::string& port) {
    const int index = ComIndexOfName(port);
    return index < 0 ? port : ComDevicePath(index);
}

// Two children on one device would fight over it, and the loser would name its own sibling as
// the program that holds the port. 0, or the exit code once the person has been told.
int RefuseOneDeviceTwice(const std::vector<std::string>& ports) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < ports.size(); ++i) {
        paths.push_back(DevicePathOfPort(ports[i]));
        for (size_t j = 0; j < i; ++j) {
            if (ports[j] == ports[i]) {
                std::fprintf(stderr, "tovik-cli: --port %s is given twice\n", ports[i].c_str());
                return kExitUsage;
            }
            if (SameDevice(paths[j], paths[i])) {
                std::fprintf(stderr,
                             "tovik-cli: --port %s and --port %s are the same device; give each "
                             "device once\n",
                             ports[j].c_str(), ports[i].c_str());
                return kExitUsage;
            }
        }
    }
    return 0;
}

} // namespace

int RunParallelLoads(const CliOptions& options, const std::string& program) {
    const int refused = RefuseOneDeviceTwice(options.ports);
    if (refused != 0) {
        return refused;
    }
    // Checked once, here: a bad file is told once, and every child loads the same bytes, which a
    // pipe or a FIFO could give only one of them.
    CFileCopy copy;
    CFileCheck check;
    const int checked = ReadCheckedFile(options.file, &copy, &check);
    if (checked != 0) {
        return checked;
    }
    CTempFile checkedCopy;
    std::string error;
    if (!checkedCopy.Write(copy.Data(), copy.Size(), &error)) {
        std::fprintf(stderr, "tovik-cli: %s\n", error.c_str());
        return kExitBadFile;
    }
    // Before any child starts: no board is loaded that could leave no record.
    CLoadLog log;
    if (!log.Open(options, &error)) {
        std::fprintf(stderr, "tovik-cli: %s\n", error.c_str());
        return kExitLogFailed;
    }
    std::vector<PortState> states(options.ports.size());
    for (size_t i = 0; i < states.size(); ++i) {
        states[i].port = options.ports[i];
        states[i].station = options.station;
        states[i].board = 1;
    }
    // The slots of a station share the count of boards passed, in a file of their own.
    CliOptions childOptions = options;
    CTempFile countsFile;
    CSharedCounts counts;
    if (options.station) {
        const char zeros[sizeof(SharedCounts)] = {};
        if (!countsFile.Write(zeros, sizeof zeros, &error) ||
            !counts.Open(countsFile.Path(), &error)) {
            std::fprintf(stderr, "tovik-cli: %s\n", error.c_str());
            return kExitBadFile;
        }
        childOptions.stationTally = countsFile.Path();
    }
    PortBoard board(stderr, IsTerminal(stderr), options.quiet, &states);
    ParallelLoad load(childOptions, checkedCopy.Path(), &states, &board, &log,
                      log.IsOpen() ? Sha256Hex(copy.Data(), copy.Size()) : std::string());
    if (options.station) {
        board.SetTotal([&load] { return load.TotalLine(); });
        load.ShareCounts(&counts);
    }
    return load.Run(program);
}
