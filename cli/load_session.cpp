#include "cli/load_session.h"

#include "cli/cli_options.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/json_panel.h"
#include "cli/parallel_load.h"
#include "cli/simulated_device.h"
#include "cli/user_messages.h"
#include "cli/wait_port.h"
#include "loader/baud_rates.h"
#include "loader/file_check.h"
#include "loader/program_file.h"
#include "loader/run_controller.h"
#include "loader/silent_panel.h"
#include "loader/srecord_reader.h"
#include "platform/child_process.h"
#include "platform/com_map.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/port_listing.h"
#include "protocol/frame_trace.h"
#include "serial/serial_port.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <thread>

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

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

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

int DryRun(FILE* file, const CFileCheck& check) {
    CSilentPanel panel;
    CRunController run(&panel);
    run.m_onBlock = [](uint32_t address, int length) {
        std::printf("0x%08" PRIX32 " %d\n", address, length);
    };
    // No worker: the pass runs here, on a run that nothing stops.
    run.BeginRun(file, check.lines, 0, 1);
    int result = ProgramFile(UpdateProgress, &run, file, nullptr, 0);
    if (result != 0) {
        std::fprintf(stderr, "tovik-cli: the file could not be read to its end (%d)\n", result);
        return kExitBadFile;
    }
    std::printf("%d blocks, %llu bytes, %d lines\n", run.m_result.m_nBlocksWritten.load(),
                static_cast<unsigned long long>(run.m_result.m_nBytesWritten), check.lines);
    return 0;
}

// Where the worker's link will find the line: the COM index to use.
int PreparePort(const CliOptions& o, std::unique_ptr<CSimulatedDevice>& sim) {
    if (o.simulate) {
        std::string error;
        sim = StartSimulatedDevice(StartBaudRate(o.baudIndex), &error);
        if (!sim) {
            TellUser(Told::kProblem, "tovik-cli: the virtual device did not start: " + error);
            return -1;
        }
        return 0;
    }
    if (o.port.empty()) {
        return 0; // COM1, as the dialog starts
    }
    int index = ComIndexOfName(o.port);
    if (index >= 0 && index < kPortLimit) {
        return index;
    }
    // The port layer opens COM1 to COM8 only, the ports the dialog offers. A device path, or a
    // higher COM number, is put in COM1's place in the table instead.
    SetComDevicePath(0, index >= 0 ? DefaultComDevicePath(index) : o.port);
    return 0;
}

// Everything a load needs before the first byte goes out.
struct PreparedLoad {
    FilePtr file;
    CFileCheck check;
    int lineCount = 0;
    std::unique_ptr<CSimulatedDevice> sim;
    int comIndex = 0;
};

// Opens and checks the file, and finds the port (or starts the virtual device). Returns -1 when
// the load can go on, otherwise the exit code; a dry run ends here.
int PrepareLoad(const CliOptions& o, PreparedLoad* load) {
    std::string unavailable;
    if (o.simulate && !SimulatedDeviceAvailable(&unavailable)) {
        TellUser(Told::kProblem, "tovik-cli: " + unavailable);
        return kExitUsage;
    }
    SetProcessCommandLine(o.handshake >= 0 ? "tovik-cli /HANDSHAKE " + std::to_string(o.handshake)
                                           : std::string("tovik-cli"));
    load->file.reset(std::fopen(o.file.c_str(), "r"));
    if (!load->file) {
        TellUserF(Told::kProblem, "Sorry, cannot open %s: %s !", o.file.c_str(),
                  std::strerror(errno));
        return kExitBadFile;
    }
    if (CheckSRecordFile(load->file.get(), &load->check) != 0) {
        TellUser(Told::kProblem, FileCheckMessage(load->check));
        return kExitBadFile;
    }
    load->lineCount = CountLines(load->file.get());
    std::rewind(load->file.get());
    if (o.dryRun) {
        return DryRun(load->file.get(), load->check);
    }
    load->comIndex = PreparePort(o, load->sim);
    if (load->comIndex < 0) {
        return kExitPortFailed;
    }
    return -1;
}

// Why the supervision ended a run before the worker did.
enum class EndReason { kRunEnded, kInterrupted, kPortFailed, kNoDevice };

// The port layer's questions get the answers a person at the bench cannot give here: a port that
// cannot be opened is given up instead of searched without.
void AnswerMessageBoxes(CConsolePanel& panel, std::atomic<bool>& portFailed) {
    SetMessageBoxHook([&](const std::string& text, const std::string&, unsigned type) {
        panel.BreakLine();
        if ((type & kMbButtonMask) == kMbRetryCancel) {
            TellUser(Told::kProblem, text);
            portFailed = true;
            return kIdCancel;
        }
        TellUser((type & kMbIconInformation) ? Told::kResult : Told::kProblem, text);
        return kIdOk;
    });
}

// Runs the load on the controller until the worker ends it, or an interrupt, a failed port or
// the --timeout ends it as Stop does (after the command in flight).
EndReason SuperviseLoad(const CliOptions& o, const PreparedLoad& load, CRunController& run,
                        JsonConsolePanel& panel, const std::atomic<bool>& portFailed) {
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    run.StartThread();
    run.BeginRun(load.file.get(), load.lineCount, load.comIndex, o.baudIndex);
    EndReason reason = EndReason::kRunEnded;
    const auto start = std::chrono::steady_clock::now();
    while (run.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        panel.Watch(run);
        if (run.m_nState == kPhaseSearch && !run.Result().m_bDeviceFound) {
            panel.ShowSearching(run.Result().m_nProbeRate);
        }
        if (InterruptCount() > 0) {
            reason = EndReason::kInterrupted;
        } else if (portFailed) {
            reason = EndReason::kPortFailed;
        } else if (o.timeoutSeconds > 0 && !run.Result().m_bDeviceFound &&
                   std::chrono::steady_clock::now() - start >
                       std::chrono::duration<double>(o.timeoutSeconds)) {
            reason = EndReason::kNoDevice;
        }
        if (reason != EndReason::kRunEnded) {
            run.Stop();
        }
    }
    run.EndThread(false, nullptr);
    panel.BreakLine();
    return reason;
}

int ExitCodeOfRun(const CRunResult& result) {
    if (!result.m_bProgramEnded) {
        return kExitInterrupted;
    }
    int code = result.m_nProgramResult;
    if (code == 0) {
        return result.m_nStartReply == 0 ? kExitStarted : kExitNotStarted;
    }
    if (result.m_bWriteRefused) {
        TellUserF(Told::kProblem,
                  "tovik-cli: the device refused a write (reply %d); it is only partly "
                  "programmed",
                  code);
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

// The exit code, and what a person reads about it.
int ReportLoad(EndReason reason, const CliOptions& o, const PreparedLoad& load,
               const CRunResult& result) {
    switch (reason) {
    case EndReason::kInterrupted:
        if (result.m_bDeviceFound && !(result.m_bProgramEnded && result.m_nProgramResult == 0)) {
            TellUser(Told::kProblem,
                     "tovik-cli: stopped; the device is erased or only partly programmed");
        } else {
            TellUser(Told::kProblem, "tovik-cli: stopped");
        }
        return kExitInterrupted;
    case EndReason::kPortFailed:
        TellUser(Told::kProblem,
                 "tovik-cli: the port cannot be opened (" + ComDevicePath(load.comIndex) + ")");
        return kExitPortFailed;
    case EndReason::kNoDevice:
        TellUserF(Told::kProblem, "tovik-cli: no device answered within %g s", o.timeoutSeconds);
        return kExitNoDevice;
    case EndReason::kRunEnded:
        break;
    }
    return ExitCodeOfRun(result);
}

// The load into one port (or the virtual device), to its JSON result.
int LoadOnePort(const CliOptions& o, JsonEvents& events) {
    PreparedLoad load;
    int prepared = PrepareLoad(o, &load);
    if (prepared >= 0) {
        events.Result(prepared, ToldText(), nullptr);
        return prepared;
    }
    events.Begin(o.file, load.check.dataBytes, load.lineCount);
    if (o.waitPortSeconds > 0 && !o.simulate) {
        InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
        const int waited =
            WaitForPort(ComDevicePath(load.comIndex), o.waitPortSeconds, o.quiet, events);
        if (waited >= 0) {
            events.Result(waited, ToldText(), nullptr);
            return waited;
        }
    }
    if (o.trace) {
        SetFrameTrace(PrintFrame);
    }
    JsonConsolePanel panel(stderr, o.quiet, IsTerminal(stderr), load.check.dataBytes, &events);
    CRunController run(&panel);
    panel.ShowFiguresOf(&run.Result());
    std::atomic<bool> portFailed{false};
    AnswerMessageBoxes(panel, portFailed);
    EndReason reason = SuperviseLoad(o, load, run, panel, portFailed);
    SetMessageBoxHook(nullptr);
    SetFrameTrace(nullptr);
    const int exitCode = ReportLoad(reason, o, load, run.Result());
    events.Result(exitCode, ToldText(), &run.Result());
    return exitCode;
}

} // namespace

int RunCli(int argc, const char* const* argv) {
    SetApplicationName("tovik-cli");
    CliParse parse = ParseCliOptions(argc, argv);
    if (!parse.run) {
        return parse.exitCode;
    }
    const CliOptions& o = parse.options;
    if (o.listPorts) {
        return ListPorts();
    }
    if (o.ports.size() > 1 && !o.dryRun) {
        const std::string self = OwnProgramPath();
        return RunParallelLoads(o, self.empty() ? argv[0] : self,
                                std::vector<std::string>(argv + 1, argv + argc));
    }
    if (o.json) {
        SendResultsToStderr();
    }
    JsonEvents events(o.json ? stdout : nullptr, o.simulate       ? "simulated"
                                                 : o.port.empty() ? "COM1"
                                                                  : o.port);
    return LoadOnePort(o, events);
}
