#include "cli/load_session.h"

#include "cli/checked_file.h"
#include "cli/cli_options.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/parallel_load.h"
#include "cli/run_panel.h"
#include "cli/simulated_device.h"
#include "cli/user_messages.h"
#include "cli/wait_port.h"
#include "loader/baud_rates.h"
#include "loader/file_check.h"
#include "loader/file_copy.h"
#include "loader/program_file.h"
#include "loader/run_controller.h"
#include "loader/srecord_reader.h"
#include "platform/child_process.h"
#include "platform/com_map.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/port_listing.h"
#include "protocol/frame_trace.h"
#include "protocol/link_base.h"
#include "serial/port_status.h"
#include "serial/serial_port.h"
#include "settings/profile.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
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

// Where the worker's link will find the line: the COM index to use. comMapProblem: why the
// profile that gives COM names their devices could not be read (empty when it could).
int PreparePort(const CliOptions& o, const std::string& comMapProblem,
                std::unique_ptr<CSimulatedDevice>& sim) {
    if (o.simulate) {
        std::string error;
        sim = StartSimulatedDevice(StartBaudRate(o.baudIndex), &error);
        if (!sim) {
            TellUserF(Told::kProblem, "tovik-cli: the virtual device did not start: %s",
                      error.c_str());
            return -1;
        }
        return 0;
    }
    // No port is COM1, as the dialog starts. A COM name whose entry cannot be read would quietly
    // become /dev/ttyS<n-1>, and the file could go into another controller than the one the bench
    // set up under that name.
    const int index = o.port.empty() ? 0 : ComIndexOfName(o.port);
    if (index >= 0 && !comMapProblem.empty()) {
        TellUserF(Told::kProblem,
                  "tovik-cli: cannot tell which device %s is: %s; give the device path with "
                  "--port, or let this user read the profile",
                  o.port.empty() ? "COM1" : o.port.c_str(), comMapProblem.c_str());
        return -1;
    }
    if (o.port.empty()) {
        return 0;
    }
    if (index >= 0 && index < kPortLimit) {
        return index;
    }
    // The port layer opens COM1 to COM8 only, the ports the dialog offers. A device path, or a
    // higher COM number, is put in COM1's place in the table instead.
    SetComDevicePath(0, index >= 0 ? ComDevicePath(index) : o.port);
    return 0;
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
    SetProcessCommandLine(o.handshake >= 0 ? "tovik-cli /HANDSHAKE " + std::to_string(o.handshake)
                                           : std::string("tovik-cli"));
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
    load->comIndex = PreparePort(o, comMapProblem, load->sim);
    if (load->comIndex < 0) {
        return kExitPortFailed;
    }
    return -1;
}

// Why the supervision ended a run before the worker did.
enum class EndReason { kRunEnded, kInterrupted, kPortFailed, kPortLost, kNoDevice };

// What the port layer's Retry/Cancel question said, for the report when the port layer's own
// record of the failure has nothing better.
struct PortQuestion {
    std::atomic<bool> asked{false};
    std::string text; // written before `asked` is set, read after
};

// The port layer's questions get the answers a person at the bench cannot give here: a port that
// cannot be opened, or that was lost, is given up instead of searched without. The question's
// text names the dialog's COM port; the report says what really failed instead.
void AnswerMessageBoxes(CRunPanel& panel, PortQuestion& portQuestion, int comIndex) {
    SetMessageBoxHook([&, comIndex](const std::string& text, const std::string&, unsigned type) {
        if ((type & kMbButtonMask) == kMbRetryCancel) {
            if (!portQuestion.asked) {
                portQuestion.text = text;
                portQuestion.asked = true;
            }
            return kIdCancel;
        }
        if (PortLost(comIndex, nullptr)) {
            return kIdOk; // a protocol error on a lost port: the report names the true cause
        }
        panel.BreakLine();
        TellUser((type & kMbIconInformation) ? Told::kResult : Told::kProblem, text);
        return kIdOk;
    });
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

// Runs the load on the controller until the worker ends it, or an interrupt, a failed port or
// the --timeout ends it as Stop does (after the command in flight; the wait for the start's reply
// is given up at once, since all data is written by then).
EndReason SuperviseLoad(const CliOptions& o, const PreparedLoad& load, CRunController& run,
                        CRunPanel& panel, const PortQuestion& portQuestion) {
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    run.m_bStopAbandonsStart = true;
    run.StartThread();
    run.BeginRun(load.stream, load.check.lineCount, load.comIndex, o.baudIndex);
    EndReason reason = EndReason::kRunEnded;
    SearchTimer timer(o.timeoutSeconds);
    while (run.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        panel.Follow();
        for (const std::string& notice : TakePortNotices()) {
            panel.BreakLine();
            std::fprintf(stderr, "tovik-cli: %s\n", notice.c_str());
        }
        if (reason != EndReason::kRunEnded) {
            continue;
        }
        if (InterruptCount() > 0) {
            reason = EndReason::kInterrupted;
        } else if (PortLost(load.comIndex, nullptr)) {
            // Every transaction on it now fails at once; the search would go on for ever.
            reason = EndReason::kPortLost;
        } else if (portQuestion.asked) {
            reason = EndReason::kPortFailed;
        } else if (timer.Expired(run.Result())) {
            reason = EndReason::kNoDevice;
        }
        if (reason != EndReason::kRunEnded) {
            run.Stop();
        }
    }
    run.EndThread(false, nullptr);
    panel.BreakLine();
    // Lost in the run's last moments, after the last look above.
    if (reason == EndReason::kRunEnded && PortLost(load.comIndex, nullptr)) {
        reason = EndReason::kPortLost;
    }
    return reason;
}

int ExitCodeOfRun(const CRunResult& result) {
    if (!result.m_bProgramEnded) {
        return kExitInterrupted;
    }
    int code = result.m_nProgramResult;
    if (code == 0) {
        if (result.m_nStartReply == 0) {
            return kExitStarted;
        }
        TellUserF(Told::kProblem,
                  "tovik-cli: %sall data written, but the device did not confirm the "
                  "start",
                  result.m_bStartAbandoned ? "stopped while waiting: " : "");
        return kExitNotStarted;
    }
    if (result.m_bWriteRefused) {
        const uint32_t address = result.m_nRefusedAddress;
        if (result.m_bWriteNotSent) {
            TellUserF(Told::kProblem,
                      "tovik-cli: the write at 0x%08" PRIX32 " could not be sent within %d s: "
                      "the line takes no more bytes (a stuck adapter, or flow control holding "
                      "it); the device is only partly programmed",
                      address, kFrameWriteMs / 1000);
        } else if (code == -1) {
            // The time-out the write waited: 30 ms per data byte and a second.
            const double seconds = (result.m_nRefusedLength * 30 + 1000) / 1000.0;
            TellUserF(Told::kProblem,
                      "tovik-cli: no reply to the write at 0x%08" PRIX32 " within %.1f s; "
                      "the device is only partly programmed",
                      address, seconds);
        } else {
            TellUserF(Told::kProblem,
                      "tovik-cli: the device refused the write at 0x%08" PRIX32
                      " (error %d); it is only partly programmed",
                      address, code);
        }
        return kExitWriteRefused;
    }
    if (code == kProgramStopped) {
        return kExitInterrupted;
    }
    if (code == kProgramNoEndRecord || code == kProgramNoFile || code == kProgramRewindFailed ||
        (code > 0 && code <= kRecordEnd)) {
        TellUserF(Told::kProblem,
                  "tovik-cli: the file could not be read during programming (%d); "
                  "the device is only partly programmed",
                  code);
        return kExitBadFile;
    }
    // Nothing else ends a pass; a result of its own would be a mistake here, not the device's.
    TellUserF(Told::kProblem, "tovik-cli: the programming pass ended with %d", code);
    return kExitWriteRefused;
}

// What became of the device when its port went away, told from how far the run had come.
void ReportLostPort(const std::string& path, int comIndex, const CRunResult& result) {
    const char* what = nullptr;
    if (result.m_bProgramEnded && result.m_nProgramResult == 0) {
        what = "while starting the device; all data written, but the device did not confirm the "
               "start";
    } else if (result.m_bProgramEnded || result.m_nBlocksWritten > 0 ||
               result.m_nActivity == kActivityProgramming) {
        what = "during programming; it is only partly programmed";
    } else if (result.m_bDeviceFound) {
        what = "during erasing; the device is erased";
    } else {
        what = "while searching for the device; nothing was erased";
    }
    TellUserF(Told::kProblem, "tovik-cli: the port %s was lost %s", path.c_str(), what);
    std::string reason;
    if (PortLost(comIndex, &reason) && !reason.empty()) {
        TellUserF(Told::kProblem, "tovik-cli: the system said: %s", reason.c_str());
    }
}

// The exit code, and what a person reads about it.
int ReportLoad(EndReason reason, const CliOptions& o, const PreparedLoad& load,
               const CRunResult& result, const PortQuestion& portQuestion) {
    switch (reason) {
    case EndReason::kInterrupted:
        if (result.m_bProgramEnded && result.m_nProgramResult == 0) {
            // Stopped while the start was waited for: the data is all there.
            break;
        }
        if (result.m_bDeviceFound) {
            TellUserF(Told::kProblem, "tovik-cli: stopped; the device is erased or only partly "
                                      "programmed");
        } else {
            TellUserF(Told::kProblem, "tovik-cli: stopped");
        }
        return kExitInterrupted;
    case EndReason::kPortFailed: {
        CPortOpenFailure failure;
        TellUserF(Told::kProblem, "tovik-cli: %s",
                  LastPortOpenFailure(load.comIndex, &failure) ? failure.Text().c_str()
                                                               : portQuestion.text.c_str());
        return kExitPortFailed;
    }
    case EndReason::kPortLost:
        ReportLostPort(o.port.empty() ? ComDevicePath(load.comIndex) : o.port, load.comIndex,
                       result);
        return kExitPortFailed;
    case EndReason::kNoDevice:
        if (result.m_nSearches > 1) {
            TellUserF(Told::kProblem,
                      "tovik-cli: no device answered within %g s of the search after a failed "
                      "erase; the device may be partly erased",
                      o.timeoutSeconds);
        } else {
            TellUserF(Told::kProblem, "tovik-cli: no device answered within %g s",
                      o.timeoutSeconds);
        }
        if (result.m_nLateReplies > 0) {
            TellUserF(Told::kProblem,
                      "tovik-cli: but %d replies came after their time-out: a device is there "
                      "and answers too slowly (a USB adapter's latency timer, or a busy "
                      "line)",
                      result.m_nLateReplies.load());
        }
        return kExitNoDevice;
    case EndReason::kRunEnded:
        break;
    }
    return ExitCodeOfRun(result);
}

// Loads the file into the one port of the options. Every display of the load takes its events
// from one stream: the JSON lines (events, which also get the result) and the console line.
int LoadOnePort(const CliOptions& o, const std::string& comMapProblem, JsonEvents& events) {
    RunEventStream stream;
    stream.Subscribe(&events);
    PreparedLoad load;
    int prepared = PrepareLoad(o, comMapProblem, &load, stream);
    if (prepared >= 0) {
        events.Result(prepared, ToldText(), nullptr);
        return prepared;
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
        const int waited =
            WaitForPort(ComDevicePath(load.comIndex), o.waitPortSeconds, o.quiet, stream);
        if (waited >= 0) {
            events.Result(waited, ToldText(), nullptr);
            return waited;
        }
    }
    if (o.trace) {
        SetFrameTrace(PrintFrame);
    }
    CConsolePanel console(stderr, o.quiet, IsTerminal(stderr), load.check.dataBytes);
    stream.Subscribe(&console);
    CRunPanel panel(&stream, load.check.dataBytes, StartBaudRate(o.baudIndex));
    CRunController run(&panel);
    panel.ShowFiguresOf(&run.Result());
    console.ShowFiguresOf(&run.Result());
    PortQuestion portQuestion;
    AnswerMessageBoxes(panel, portQuestion, load.comIndex);
    EndReason reason = SuperviseLoad(o, load, run, panel, portQuestion);
    SetMessageBoxHook(nullptr);
    SetFrameTrace(nullptr);
    const int exitCode = ReportLoad(reason, o, load, run.Result(), portQuestion);
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
    const CliOptions& o = parse.options;
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
    if (o.ports.size() > 1 && !o.dryRun) {
        const std::string self = OwnProgramPath();
        return RunParallelLoads(o, self.empty() ? argv[0] : self);
    }
    if (o.json) {
        SendResultsToStderr();
    }
    JsonEvents events(o.json ? stdout : nullptr, o.simulate       ? "simulated"
                                                 : o.port.empty() ? "COM1"
                                                                  : o.port);
    return LoadOnePort(o, comMapProblem, events);
}
