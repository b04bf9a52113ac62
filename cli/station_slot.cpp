#include "cli/station_slot.h"

#include "cli/checked_file.h"
#include "cli/cli_options.h"
#include "cli/cli_port_policy.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/load_log.h"
#include "cli/outcome_report.h"
#include "cli/port_choice.h"
#include "cli/run_panel.h"
#include "cli/user_messages.h"
#include "loader/baud_rates.h"
#include "loader/file_check.h"
#include "loader/file_copy.h"
#include "loader/loader_worker.h"
#include "loader/run_controller.h"
#include "loader/sha256.h"
#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/shared_counts.h"
#include "protocol/unit_link.h"
#include "serial/port_status.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often the slot looks at its run, its port and the interrupts.
constexpr auto kLook = 10ms;
// How often it looks whether the station is closing while no board is loading.
constexpr auto kCountsLook = 100ms;
// A board that stays on a port that stays is gone when this many probes in a row, one every
// kProbeTimeoutMs, went unanswered: a board running its new firmware no longer answers.
constexpr int kGoneAfterMisses = 5;
// How long a port that appeared may stay closed to this user while udev sets its permissions.
constexpr auto kUdevGrace = 2s;
// Before a port that cannot be opened is tried again.
constexpr auto kRetryOpen = 200ms;

// The panel of one board's run: the board's first erase begins its load, and only when the
// station still wants another board; otherwise the run stops before anything is erased. Once the
// supervising thread has refused the board (the station closing while it searched), the worker
// cannot begin it; once the worker has begun it, the refusal comes too late and the load goes on.
class SlotPanel : public CRunPanel {
public:
    SlotPanel(RunEventSink* events, uint64_t totalBytes, int firstRate,
              std::function<bool()> mayBegin)
        : CRunPanel(events, totalBytes, firstRate), m_mayBegin(std::move(mayBegin)) {}

    void SetRun(CRunController* run) { m_run = run; }
    bool Begun() const { return m_state == kBegun; }
    // True when the board will not begin (the run must be stopped); false once it has begun.
    bool Refuse() {
        int expected = kSearching;
        return m_state.compare_exchange_strong(expected, kRefused) || expected == kRefused;
    }

    void ShowErasing() override {
        if (m_state != kBegun) {
            int expected = kSearching;
            if (!m_mayBegin() || !m_state.compare_exchange_strong(expected, kBegun)) {
                Refuse();
                m_run->Stop();
                return;
            }
            m_began = Clock::now();
        }
        CRunPanel::ShowErasing();
    }
    // When the first erase began; once Begun().
    Clock::time_point Began() const { return m_began; }

private:
    enum { kSearching, kBegun, kRefused };
    const std::function<bool()> m_mayBegin;
    CRunController* m_run = nullptr;
    Clock::time_point m_began{};
    std::atomic<int> m_state{kSearching};
};

// How a board's turn on the slot ended.
struct BoardEnd {
    bool begun = false; // false: no board was loaded (the station ends, or the port was not there)
    int exitCode = 0;
    int rate = 0; // the rate that answered
};

class Slot {
public:
    Slot(const CliOptions& o, CFileCopy& copy, const CFileCheck& check, int comIndex,
         std::string devicePath, CSharedCounts* counts, CLoadLog* log)
        : m_options(o), m_copy(copy), m_check(check), m_comIndex(comIndex),
          m_devicePath(std::move(devicePath)), m_counts(counts), m_log(log),
          m_events(stdout, o.port.empty() ? m_devicePath : o.port) {}

    int Run();

private:
    bool Ending(bool lookNow);
    bool MayBegin();
    bool AwaitPort();
    BoardEnd LoadBoard(int board);
    bool Interrupted() const;
    void Record(LoadRecord record, int exitCode, const CRunResult& result, Clock::time_point began,
                std::string* message);
    bool WatchUntilGone(int answeredRate);
    void CountPassed();
    void Tell(const std::string& text);

    const CliOptions& m_options;
    CFileCopy& m_copy;
    const CFileCheck& m_check;
    const int m_comIndex;
    const std::string m_devicePath;
    CSharedCounts* const m_counts;
    CLoadLog* const m_log;
    bool m_logFailed = false;
    std::string m_sha256; // of the checked copy, with a log
    JsonEvents m_events;
    Clock::time_point m_countsLooked{};
    bool m_closing = false; // as last looked
    std::string m_lastTold; // not told twice in a row
};

void Slot::Tell(const std::string& text) {
    if (text != m_lastTold) {
        m_lastTold = text;
        std::fprintf(stderr, "tovik-cli: %s\n", text.c_str());
        std::fflush(stderr);
    }
}

// True when the station wants no further board: an interrupt, or, as the shared counts said at
// the last look (now, with lookNow), the station closing or the count of boards reached.
bool Slot::Ending(bool lookNow) {
    if (Interrupted()) {
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (!m_closing && (lookNow || now - m_countsLooked >= kCountsLook)) {
        m_countsLooked = now;
        SharedCounts counts;
        const int64_t count = m_options.count;
        if (!m_counts->Update([](SharedCounts&) {}, &counts)) {
            // Without the count no board may begin; better to end than to search in vain.
            Tell("the station's count of boards can no longer be read; the slot ends");
            m_closing = true;
        } else {
            m_closing = counts.closing != 0 || (count > 0 && counts.passed >= count);
        }
    }
    return m_closing;
}

// Asked on the worker's thread before a board's first erase.
bool Slot::MayBegin() {
    SharedCounts counts;
    const int64_t count = m_options.count;
    if (Interrupted() || !m_counts->Update([](SharedCounts&) {}, &counts)) {
        return false;
    }
    return counts.closing == 0 && (count == 0 || counts.passed < count);
}

// Ctrl-C or SIGTERM passed on by the station, or the station gone without a word (killed): the
// slot stops as Stop does.
bool Slot::Interrupted() const {
    return InterruptCount() > 0 || ParentGone();
}

// The board's record, made durable before the slot looks for the next board. A record that
// cannot be written closes the station: no slot begins a board that would have none. Its sentence
// joins the board's message.
void Slot::Record(LoadRecord record, int exitCode, const CRunResult& result,
                  Clock::time_point began, std::string* message) {
    if (!m_log->IsOpen()) {
        return;
    }
    SetRecordResult(exitCode, *message, &result, &record);
    record.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::string error;
    if (m_log->Append(record, &error)) {
        return;
    }
    m_logFailed = true;
    SharedCounts counts;
    m_counts->Update([](SharedCounts& c) { c.closing = 1; }, &counts);
    Tell(error);
    *message += "\n" + error;
}

void Slot::CountPassed() {
    SharedCounts counts;
    m_counts->Update([](SharedCounts& c) { ++c.passed; }, &counts);
}

// Waits until the port is there, and then a moment for udev to let this user open it (a port
// that stays closed to this user is opened all the same: the open says why). False when the
// station ends first.
bool Slot::AwaitPort() {
    bool told = false;
    Clock::time_point appeared{};
    for (;;) {
        if (Ending(false)) {
            return false;
        }
        const bool there = DevicePathExists(m_devicePath);
        if (there && appeared == Clock::time_point{}) {
            appeared = Clock::now();
        }
        if (there && (DevicePathAccessible(m_devicePath) || Clock::now() - appeared > kUdevGrace)) {
            return true;
        }
        if (!there && !told) {
            RunEvent waiting(RunEvent::Kind::kWaiting);
            waiting.path = m_devicePath;
            m_events.Take(waiting);
            told = true;
        }
        std::this_thread::sleep_for(kLook);
    }
}

// One board: the search without limit, then, if the station still wants a board, its load. An
// interrupt stops it as Stop does, after the command in flight.
BoardEnd Slot::LoadBoard(int board) {
    ForgetToldTexts();
    std::string error;
    FILE* stream = m_copy.Stream(&error);
    if (stream == nullptr) {
        Tell(error);
        return BoardEnd{};
    }
    std::rewind(stream);
    // The device as it is while the board is there: a board taken out in the middle of its load
    // takes its port with it.
    LoadRecord record = m_log->NewRecord(m_options.port);
    record.sha256 = m_sha256;
    record.board = board;
    RunEventStream events;
    events.Subscribe(&m_events);
    // The device of the board that begins (on the worker's thread, read once it has ended): a
    // board taken out before its first erase may give its port's name to another device.
    SlotPanel panel(&events, m_check.dataBytes, StartBaudRate(m_options.baudIndex),
                    [this, &record] {
                        if (!MayBegin()) {
                            return false;
                        }
                        SetRecordDevice(m_devicePath, &record);
                        return true;
                    });
    CCliPortPolicy policy(m_options.handshake, m_comIndex, m_devicePath);
    CRunController run(&panel);
    panel.SetRun(&run);
    panel.ShowFiguresOf(&run.Result());
    run.m_bStopAbandonsStart = true;
    run.StartThread();
    run.BeginRun(stream, m_check.lineCount, m_comIndex, m_options.baudIndex);
    bool stopped = false;
    while (run.Running()) {
        std::this_thread::sleep_for(kLook);
        panel.Follow();
        for (const std::string& notice : TakePortNotices()) {
            Tell(notice);
        }
        // A load once begun ends as the device lets it; only an interrupt stops it.
        if (!stopped && (Interrupted() || (Ending(false) && panel.Refuse()))) {
            run.Stop();
            stopped = true;
        }
    }
    run.EndThread(false, nullptr);
    BoardEnd end;
    end.begun = panel.Begun();
    end.rate = run.Result().m_nAnsweredRate;
    const int exitCode = ReportOutcome(run.Outcome(), OutcomeReportContext{m_options.port, 0});
    if (!end.begun) {
        // The port could not be opened, or went before a board was found: not a board's end.
        if (!stopped && !Ending(true) && DevicePathExists(m_devicePath)) {
            Tell(OnOneLine(ToldText()));
        }
        return end;
    }
    m_lastTold.clear();
    end.exitCode = exitCode;
    std::string message = ToldText();
    // The record and the result line, both or neither: a second interrupt between them would
    // leave the station a board without a result, whose record it would write again.
    const CInterruptsHeld held;
    Record(record, exitCode, run.Result(), panel.Began(), &message);
    m_events.Result(exitCode, message, &run.Result());
    return end;
}

// After a load: true once the board is gone (its port went or changed, or it stopped answering),
// false when the station ends first.
bool Slot::WatchUntilGone(int answeredRate) {
    const int rate = answeredRate > 0 ? answeredRate : StartBaudRate(m_options.baudIndex);
    const std::string device = ResolvedDevicePath(m_devicePath);
    CCliPortPolicy policy(m_options.handshake, m_comIndex, m_devicePath);
    CUnitLink link(m_comIndex, rate, kHostAddress, kDeviceUnit);
    link.SetPortParameters(rate, 8, 'n', 1);
    int misses = 0;
    for (;;) {
        const Clock::time_point probed = Clock::now();
        const int reply = link.IsConnected() ? link.Execute("!D", kProbeTimeoutMs) : -1;
        misses = reply == 0 ? 0 : misses + 1;
        if (!link.IsConnected() || misses >= kGoneAfterMisses) {
            return true;
        }
        // Between probes the port is looked at often: a board taken out is seen at once.
        do {
            if (Ending(false)) {
                return false;
            }
            if (device.empty() || ResolvedDevicePath(m_devicePath) != device) {
                return true;
            }
            std::this_thread::sleep_for(kLook);
        } while (Clock::now() - probed < std::chrono::milliseconds(kProbeTimeoutMs));
    }
}

int Slot::Run() {
    KeepToldTextsOnly();
    RememberParent();
    if (m_log->IsOpen()) {
        m_sha256 = Sha256Hex(m_copy.Data(), m_copy.Size());
    }
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    int board = 1;
    m_events.SetBoard(board);
    RunEvent begin(RunEvent::Kind::kBegin);
    begin.file = m_options.file;
    begin.bytesTotal = m_check.dataBytes;
    begin.lines = m_check.lines;
    m_events.Take(begin);
    bool failed = false;
    bool cutShort = false;
    while (!Ending(true) && AwaitPort()) {
        const BoardEnd end = LoadBoard(board);
        if (!end.begun) {
            if (Ending(true)) {
                break;
            }
            std::this_thread::sleep_for(kRetryOpen);
            continue;
        }
        if (end.exitCode == 0) {
            CountPassed();
        }
        failed |= end.exitCode != 0 && end.exitCode != kExitInterrupted;
        cutShort |= end.exitCode == kExitInterrupted;
        if (Ending(true) || !WatchUntilGone(end.rate)) {
            break;
        }
        RunEvent gone(RunEvent::Kind::kBoardGone);
        m_events.Take(gone);
        m_events.SetBoard(++board);
    }
    return m_logFailed ? kExitLogFailed
           : cutShort  ? kExitInterrupted
           : failed    ? kExitSomeFailed
                       : 0;
}

} // namespace

int RunStationSlot(const CliOptions& o, const std::string& comMapProblem) {
    CFileCopy copy;
    CFileCheck check;
    const int checked =
        ReadCheckedFile(o.checkedCopy.empty() ? o.file : o.checkedCopy, &copy, &check);
    if (checked != 0) {
        return checked;
    }
    std::unique_ptr<CSimulatedDevice> noSimulation;
    std::string devicePath;
    const int comIndex = ChoosePort(o, comMapProblem, noSimulation, &devicePath);
    if (comIndex < 0) {
        return kExitPortFailed;
    }
    CSharedCounts counts;
    std::string error;
    if (!counts.Open(o.stationTally, &error)) {
        std::fprintf(stderr, "tovik-cli: the station's count cannot be read: %s\n", error.c_str());
        return kExitUsage;
    }
    // The station opened the log before any slot began; a slot that cannot has no board to load.
    CLoadLog log;
    if (!log.Open(o, &error)) {
        std::fprintf(stderr, "tovik-cli: %s\n", error.c_str());
        return kExitLogFailed;
    }
    Slot slot(o, copy, check, comIndex, devicePath, &counts, &log);
    return slot.Run();
}
