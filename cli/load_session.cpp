#include "cli/load_session.h"

#include "cli/cli_options.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/simulated_device.h"
#include "loader/baud_rates.h"
#include "loader/file_check.h"
#include "loader/file_copy.h"
#include "loader/program_file.h"
#include "loader/run_controller.h"
#include "loader/srecord_reader.h"
#include "platform/com_map.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/port_listing.h"
#include "protocol/frame_trace.h"
#include "serial/serial_port.h"

#include <atomic>
#include <chrono>
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
void PrintBlock(uint32_t address, int length) {
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
    std::fwrite(line, 1, static_cast<size_t>(n), stdout);
}

// What a run loads as the file says, although it is most likely a mistake.
void PrintWarnings(const CFileCheck& check) {
    int overlapsShown = 0;
    for (const CFileWarning& warning : check.warnings) {
        std::fprintf(stderr, "%s\n", FileWarningText(warning).c_str());
        overlapsShown += warning.kind == CFileWarning::kOverlap;
    }
    if (check.overlapLines > overlapsShown) {
        std::fprintf(stderr,
                     "Warning: %d more lines of the file give data that earlier lines gave\n",
                     check.overlapLines - overlapsShown);
    }
}

// Where the worker's link will find the line: the COM index to use.
int PreparePort(const CliOptions& o, std::unique_ptr<CSimulatedDevice>& sim) {
    if (o.simulate) {
        std::string error;
        sim = StartSimulatedDevice(StartBaudRate(o.baudIndex), &error);
        if (!sim) {
            std::fprintf(stderr, "tovik-cli: the virtual device did not start: %s\n",
                         error.c_str());
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
int PrepareLoad(const CliOptions& o, PreparedLoad* load) {
    std::string unavailable;
    if (o.simulate && !SimulatedDeviceAvailable(&unavailable)) {
        std::fprintf(stderr, "tovik-cli: %s\n", unavailable.c_str());
        return kExitUsage;
    }
    SetProcessCommandLine(o.handshake >= 0 ? "tovik-cli /HANDSHAKE " + std::to_string(o.handshake)
                                           : std::string("tovik-cli"));
    std::string error;
    if (load->copy.ReadPath(o.file, &error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitBadFile;
    }
    CheckSRecordText(load->copy.Data(), load->copy.Size(), &load->check,
                     o.dryRun ? BlockListener(PrintBlock) : BlockListener());
    if (load->check.result != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", FileCheckMessage(load->check).c_str());
        return kExitBadFile;
    }
    PrintWarnings(load->check);
    if (o.dryRun) {
        std::printf("%d blocks, %llu bytes, %d lines\n", load->check.blocks,
                    static_cast<unsigned long long>(load->check.dataBytes), load->check.lines);
        return 0;
    }
    load->stream = load->copy.Stream(&error);
    if (load->stream == nullptr) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitBadFile;
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
            std::fprintf(stderr, "%s\n", text.c_str());
            portFailed = true;
            return kIdCancel;
        }
        std::fprintf((type & kMbIconInformation) ? stdout : stderr, "%s\n", text.c_str());
        std::fflush(stdout);
        return kIdOk;
    });
}

// Runs the load on the controller until the worker ends it, or an interrupt, a failed port or
// the --timeout ends it as Stop does (after the command in flight).
EndReason SuperviseLoad(const CliOptions& o, const PreparedLoad& load, CRunController& run,
                        CConsolePanel& panel, const std::atomic<bool>& portFailed) {
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    run.StartThread();
    run.BeginRun(load.stream, load.check.lineCount, load.comIndex, o.baudIndex);
    EndReason reason = EndReason::kRunEnded;
    const auto start = std::chrono::steady_clock::now();
    while (run.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
        std::fprintf(stderr,
                     "tovik-cli: the device refused a write (reply %d); it is only partly "
                     "programmed\n",
                     code);
        return kExitWriteRefused;
    }
    if (code == kProgramStopped) {
        return kExitInterrupted;
    }
    if (code == kProgramNoEndRecord || code == kProgramNoFile || code == kProgramRewindFailed ||
        (code > 0 && code <= kRecordEnd)) {
        std::fprintf(stderr,
                     "tovik-cli: the file could not be read during programming (%d); "
                     "the device is only partly programmed\n",
                     code);
        return kExitBadFile;
    }
    // Nothing else ends a pass; a result of its own would be a mistake here, not the device's.
    std::fprintf(stderr, "tovik-cli: the programming pass ended with %d\n", code);
    return kExitWriteRefused;
}

// The exit code, and what a person reads about it.
int ReportLoad(EndReason reason, const CliOptions& o, const PreparedLoad& load,
               const CRunResult& result) {
    switch (reason) {
    case EndReason::kInterrupted:
        if (result.m_bDeviceFound && !(result.m_bProgramEnded && result.m_nProgramResult == 0)) {
            std::fprintf(stderr, "tovik-cli: stopped; the device is erased or only partly "
                                 "programmed\n");
        } else {
            std::fprintf(stderr, "tovik-cli: stopped\n");
        }
        return kExitInterrupted;
    case EndReason::kPortFailed:
        std::fprintf(stderr, "tovik-cli: the port cannot be opened (%s)\n",
                     ComDevicePath(load.comIndex).c_str());
        return kExitPortFailed;
    case EndReason::kNoDevice:
        std::fprintf(stderr, "tovik-cli: no device answered within %g s\n", o.timeoutSeconds);
        return kExitNoDevice;
    case EndReason::kRunEnded:
        break;
    }
    return ExitCodeOfRun(result);
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
    PreparedLoad load;
    int prepared = PrepareLoad(o, &load);
    if (prepared >= 0) {
        return prepared;
    }
    if (o.trace) {
        SetFrameTrace(PrintFrame);
    }
    CConsolePanel panel(stderr, o.quiet, IsTerminal(stderr), load.check.dataBytes);
    CRunController run(&panel);
    panel.ShowFiguresOf(&run.Result());
    std::atomic<bool> portFailed{false};
    AnswerMessageBoxes(panel, portFailed);
    EndReason reason = SuperviseLoad(o, load, run, panel, portFailed);
    SetMessageBoxHook(nullptr);
    SetFrameTrace(nullptr);
    return ReportLoad(reason, o, load, run.Result());
}
