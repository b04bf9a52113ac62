#include "cli/load_session.h"

#include "cli/abrupt_end_record.h"
#include "cli/checked_file.h"
#include "cli/cli_options.h"
#include "cli/cli_port_policy.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/load_log.h"
#include "cli/outcome_report.h"
#include "cli/parallel_load.h"
#include "cli/port_choice.h"
#include "cli/run_panel.h"
#include "cli/simulated_device.h"
#include "cli/station_slot.h"
#include "cli/user_messages.h"
#include "cli/wait_port.h"
#include "loader/baud_rates.h"
#include "loader/file_check.h"
#include "loader/file_copy.h"
#include "loader/run_controller.h"
#include "loader/sha256.h"
#include "loader/srecord_reader.h"
#include "platform/child_process.h"
#include "platform/com_map.h"
#include "platform/console.h"
#include "platform/host_name.h"
#include "platform/message_box.h"
#include "platform/port_listing.h"
#include "protocol/frame_trace.h"
#include "serial/port_status.h"
#include "serial/serial_port.h"
#include "settings/profile.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

void PrintFrame(bool sent, const uint8_t* bytes, int length) {
    std::string line = sent ? "> " : "< ";
    char hex[4];
    for (int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", bytes[i]);
        line += hex;
    }
    line.back() = '\n';
    std::fputs(line.c_str(), stderr);
}

int ListPorts() {
    std::vector<SerialPortEntry> ports = ListSerialPorts();
    if (ports.empty()) {
        std::printf("no serial ports found\n");
    }
    for (const SerialPortEntry& port : ports) {
        std::printf("%s%s%s\n", port.device.c_str(), port.byIdName.empty() ? "" : "  ",
                    port.byIdName.c_str());
    }
    return 0;
}

// One line of the dry run's listing, "0x0001F000 208", formatted by hand: a large file has
// hundreds of thousands of blocks, and printf would take as long as checking them.
void PrintBlock(FILE* out, uint32_t address, uint32_t length) {
    static const char kDigits[] = "0123456789ABCDEF";
    char line[32] = {'0', 'x'};
    int n = 2;
    for (int shift = 28; shift >= 0; shift -= 4) {
        line[n++] = kDigits[(address >> shift) & 0xF];
    }
    line[n++] = ' ';
    char reversed[12];
    int digits = 0;
    do {
        reversed[digits++] = static_cast<char>('0' + length % 10);
        length /= 10;
    } while (length > 0);
    while (digits > 0) {
        line[n++] = reversed[--digits];
    }
    line[n++] = '\n';
    std::fwrite(line, 1, static_cast<size_t>(n), out);
}

// The dry run's listing is what a run would send: nothing, for a file the check refuses at a
// later line. It waits for the verdict in an unnamed temporary file, so that neither memory nor
// the number of allocations grows with a large file's hundreds of thousands of blocks.
class BlockListing {
public:
    BlockListing() : m_spool(std::tmpfile()) {}
    ~BlockListing() {
        if (m_spool != nullptr) {
            std::fclose(m_spool);
        }
    }
    BlockListing(const BlockListing&) = delete;
    BlockListing& operator=(const BlockListing&) = delete;

    BlockListener Listener() {
        if (m_spool == nullptr) {
            return BlockListener();
        }
        return [this](uint32_t address, int length) {
            PrintBlock(m_spool, address, static_cast<uint32_t>(length));
        };
    }

    // Prints the listing of the accepted file in copy. Without a spool that held it whole (no
    // temporary file could be made, or the disk filled), the blocks are walked again.
    void Print(const CFileCopy& copy) {
        if (m_spool != nullptr && std::fflush(m_spool) == 0 && !std::ferror(m_spool)) {
            std::rewind(m_spool);
            char buffer[64 * 1024];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, m_spool)) > 0) {
                std::fwrite(buffer, 1, got, stdout);
            }
            if (!std::ferror(m_spool)) {
                return;
            }
        }
        CFileCheck again;
        CheckSRecordText(copy.Data(), copy.Size(), &again, [](uint32_t address, int length) {
            PrintBlock(stdout, address, static_cast<uint32_t>(length));
        });
    }

private:
    FILE* m_spool;
};

// What a run loads as the file says, although it is most likely a mistake: on stderr, and as
// events with --json.
void TellWarnings(const CFileCheck& check, RunEventSink& events) {
    for (const CToldWarning& warning : ToldWarnings(check)) {
        std::fprintf(stderr, "%s\n", warning.text.c_str());
        RunEvent event(RunEvent::Kind::kWarning);
        event.what = warning.what;
        event.line = warning.line;
        event.lastLine = warning.lastLine;
        event.text = warning.text;
        events.Take(event);
    }
}

// Everything a load needs before the first byte goes out.
struct PreparedLoad {
    // The file, read once: checked, counted and programmed from this copy, so that what goes to
    // the device is what was checked, and a pipe loads like a file.
    CFileCopy copy;
    FILE* stream = nullptr; // over the copy, owned by it
    CFileCheck check;
    std::unique_ptr<CSimulatedDevice> sim;
    int comIndex = 0;
    std::string devicePath; // what the port layer opens for comIndex
};

// Reads and checks the file, and finds the port (or starts the virtual device). Returns -1 when
// the load can go on, otherwise the exit code; a dry run ends here, its blocks listed by the
// check's one pass over the copy.
int PrepareLoad(const CliOptions& o, const std::string& comMapProblem, PreparedLoad* load,
                RunEventSink& events) {
    std::string unavailable;
    if (o.simulate && !SimulatedDeviceAvailable(&unavailable)) {
        TellUserF(Told::kProblem, "tovik-cli: %s", unavailable.c_str());
        return kExitUsage;
    }
    std::unique_ptr<BlockListing> listing(o.dryRun ? new BlockListing : nullptr);
    const int checked =
        ReadCheckedFile(o.checkedCopy.empty() ? o.file : o.checkedCopy, &load->copy, &load->check,
                        listing ? listing->Listener() : BlockListener());
    if (checked != 0) {
        return checked;
    }
    TellWarnings(load->check, events);
    if (o.dryRun) {
        listing->Print(load->copy);
        std::printf("%d blocks, %llu bytes, %d lines\n", load->check.blocks,
                    static_cast<unsigned long long>(load->check.dataBytes), load->check.lines);
        return 0;
    }
    std::string error;
    load->stream = load->copy.Stream(&error);
    if (load->stream == nullptr) {
        TellUserF(Told::kProblem, "%s", error.c_str());
        return kExitBadFile;
    }
    load->comIndex = ChoosePort(o, comMapProblem, load->sim, &load->devicePath);
    if (load->comIndex < 0) {
        return kExitPortFailed;
    }
    return -1;
}

// --timeout counts from the beginning of each search of the run: the first, and the search again
// after a failed erase pass. Time spent erasing or programming is not searching.
class SearchTimer {
public:
    explicit SearchTimer(double seconds) : m_seconds(seconds) {}

    bool Expired(const CRunResult& result) {
        const auto now = std::chrono::steady_clock::now();
        const int searches = result.m_nSearches;
        if (searches != m_searches) {
            m_searches = searches;
            m_start = now;
        }
        // Before the first search the link is being made, which belongs to it.
        const int activity = result.m_nActivity;
        const bool searching =
            activity == kActivitySearching || (searches == 0 && activity == kActivityIdle);
        return m_seconds > 0 && searching &&
               now - m_start > std::chrono::duration<double>(m_seconds);
    }

private:
    const double m_seconds;
    int m_searches = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Runs the load on the controller until the worker ends it, or an interrupt or the --timeout
// ends it as Stop does (after the command in flight; the wait for the start's reply is given up
// at once, since all data is written by then). A port that cannot be opened or is lost ends it
// through the port policy. Returns once the worker has let go of the run.
void SuperviseLoad(const CliOptions& o, const PreparedLoad& load, CRunController& run,
                   CRunPanel& panel) {
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    run.m_bStopAbandonsStart = true;
    run.StartThread();
    run.BeginRun(load.stream, load.check.lineCount, load.comIndex, o.baudIndex);
    bool stopped = false;
    SearchTimer timer(o.timeoutSeconds);
    while (run.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        panel.Follow();
        for (const std::string& notice : TakePortNotices()) {
            panel.BreakLine();
            std::fprintf(stderr, "tovik-cli: %s\n", notice.c_str());
        }
        if (stopped) {
            continue;
        }
        if (InterruptCount() > 0) {
            run.Stop();
            stopped = true;
        } else if (timer.Expired(run.Result())) {
            run.Stop(RunEnd::kNoDevice);
            stopped = true;
        }
    }
    run.EndThread(false, nullptr);
    panel.BreakLine();
}

// The port as the results name it: as given, COM1 when none was.
std::string PortName(const CliOptions& o) {
    return o.simulate ? "simulated" : o.port.empty() ? "COM1" : o.port;
}

// The load's record into the log (when there is one), before its result is told: the exit code the
// load ends with, kExitLogFailed when the record could not be written, which the result then says.
int RecordLoad(CLoadLog& log, LoadRecord record, int exitCode, const CRunResult* result,
               std::chrono::steady_clock::time_point start) {
    SetRecordResult(exitCode, ToldText(), result, &record);
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string error;
    if (log.Append(record, &error)) {
        return exitCode;
    }
    TellUserF(Told::kProblem, "tovik-cli: %s", error.c_str());
    return kExitLogFailed;
}

// Loads the file into the one port of the options. Every display of the load takes its events
// from one stream: the JSON lines (events, which also get the result), the console line and,
// with --log, the record a second interrupt leaves.
int LoadOnePort(const CliOptions& o, const std::string& comMapProblem, JsonEvents& events) {
    const auto start = std::chrono::steady_clock::now();
    RunEventStream stream;
    stream.Subscribe(&events);
    PreparedLoad load;
    int prepared = PrepareLoad(o, comMapProblem, &load, stream);
    if (prepared >= 0) {
        events.Result(prepared, ToldText(), nullptr);
        return prepared;
    }
    // Nothing has been sent yet: a load must not begin that could leave no record.
    CLoadLog log;
    std::string logError;
    if (!log.Open(o, &logError)) {
        TellUserF(Told::kProblem, "tovik-cli: %s", logError.c_str());
        events.Result(kExitLogFailed, ToldText(), nullptr);
        return kExitLogFailed;
    }
    LoadRecord record = log.NewRecord(PortName(o));
    std::unique_ptr<AbruptEndRecord> abruptEnd;
    if (log.IsOpen()) {
        record.sha256 = Sha256Hex(load.copy.Data(), load.copy.Size());
        SetRecordDevice(load.devicePath, &record);
        // A child's parent writes the record of a child that ends without its result.
        if (!o.child) {
            abruptEnd = std::make_unique<AbruptEndRecord>(&log, record, start);
            stream.Subscribe(abruptEnd.get());
        }
    }
    // The lines as an editor and --dry-run count them, up to the end record; lineCount is the
    // programming pass's range, one more when the last line has its line end.
    RunEvent begin(RunEvent::Kind::kBegin);
    begin.file = o.file;
    begin.bytesTotal = load.check.dataBytes;
    begin.lines = load.check.lines;
    stream.Take(begin);
    if (o.waitPortSeconds > 0 && !o.simulate) {
        InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
        const int waited = WaitForPort(load.devicePath, o.waitPortSeconds, o.quiet, stream);
        if (waited >= 0) {
            const CInterruptsHeld held; // the record and its result line, both or neither
            const int exitCode = RecordLoad(log, record, waited, nullptr, start);
            events.Result(exitCode, ToldText(), nullptr);
            return exitCode;
        }
    }
    if (o.trace) {
        SetFrameTrace(PrintFrame);
    }
    CConsolePanel console(stderr, o.quiet, IsTerminal(stderr), load.check.dataBytes);
    stream.Subscribe(&console);
    CRunPanel panel(&stream, load.check.dataBytes, StartBaudRate(o.baudIndex));
    CCliPortPolicy policy(o.handshake, load.comIndex, load.devicePath);
    CRunController run(&panel);
    panel.ShowFiguresOf(&run.Result());
    console.ShowFiguresOf(&run.Result());
    SuperviseLoad(o, load, run, panel);
    SetFrameTrace(nullptr);
    const int reported =
        ReportOutcome(run.Outcome(), OutcomeReportContext{o.port.empty() ? load.devicePath : o.port,
                                                          o.timeoutSeconds});
    // A second interrupt between the record and the result line would leave the parent of several
    // ports a child without a result, and it would write that load's record again.
    const CInterruptsHeld held;
    const int exitCode = RecordLoad(log, record, reported, &run.Result(), start);
    events.Result(exitCode, ToldText(), &run.Result());
    return exitCode;
}

} // namespace

int RunCli(int argc, const char* const* argv) {
    // Before anything is opened: a closed stderr must not be taken by the port.
    OpenNullOnClosedStandardStreams();
    // A reader that goes away (| head) must not end a load; the exit code still tells.
    IgnoreBrokenPipes();
    SetApplicationName("tovik-cli");
    CliParse parse = ParseCliOptions(argc, argv);
    if (!parse.run) {
        return parse.exitCode;
    }
    CliOptions& o = parse.options;
    if (!o.logPath.empty() && o.stationName.empty()) {
        // Resolved once: the children of several ports are given it.
        o.stationName = ShortHostName();
    }
    if (o.listPorts) {
        return ListPorts();
    }
    // A COM name means what it means to the dialog: the device its profile's Ports section gives
    // that number, so that a bench set up once serves both, and several ports can tell that two
    // names are one device. The profile is only read here.
    std::string comMapProblem;
    if (!o.simulate) {
        const CProfile profile(CProfile::DefaultPath());
        LoadComMapFromProfile(profile);
        const std::string problem = profile.ReadProblem();
        if (!problem.empty()) {
            comMapProblem = "the profile " + profile.Path() +
                            " maps COM names to devices, and tovik-cli " + problem;
        }
    }
    if (o.station && o.child) {
        return RunStationSlot(o, comMapProblem);
    }
    if ((o.ports.size() > 1 || o.station) && !o.child && !o.dryRun) {
        const std::string self = OwnProgramPath();
        return RunParallelLoads(o, self.empty() ? argv[0] : self);
    }
    if (o.json) {
        SendResultsToStderr();
    }
    JsonEvents events(o.json ? stdout : nullptr, PortName(o));
    return LoadOnePort(o, comMapProblem, events);
}
