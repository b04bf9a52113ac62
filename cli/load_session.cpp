#include "cli/load_session.h"

#include "cli/cli_options.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/simulated_device.h"
#include "loader/file_check.h"
#include "loader/loader_worker.h"
#include "loader/program_file.h"
#include "loader/srecord_reader.h"
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
    CConsolePanel panel(stderr, true, false, check.dataBytes);
    panel.ListBlocksTo(stdout);
    panel.m_bRun = 1;
    int result = ProgramFile(UpdateProgress, &panel, file, nullptr, 0);
    if (result != 0) {
        std::fprintf(stderr, "tovik-cli: the file could not be read to its end (%d)\n", result);
        return kExitBadFile;
    }
    std::printf("%d blocks, %llu bytes, %d lines\n", panel.BlocksWritten(),
                static_cast<unsigned long long>(panel.BytesWritten()), check.lines);
    return 0;
}

// Where the worker's link will find the line: the COM index to use.
int PreparePort(const CliOptions& o, std::unique_ptr<CSimulatedDevice>& sim) {
    if (o.simulate) {
        std::string error;
        sim = StartSimulatedDevice(BaudRateOfIndex(o.baudIndex), &error);
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

int ExitCodeOfRun(const CConsolePanel& panel) {
    if (!panel.m_bProgramEnded) {
        return kExitInterrupted;
    }
    int result = panel.m_nProgramResult;
    if (result == 0) {
        return panel.m_nStartReply == 0 ? kExitStarted : kExitNotStarted;
    }
    if (panel.m_bWriteRefused) {
        std::fprintf(stderr,
                     "tovik-cli: the device refused a write (reply %d); it is only partly "
                     "programmed\n",
                     result);
        return kExitWriteRefused;
    }
    if (result == kProgramStopped) {
        return kExitInterrupted;
    }
    if (result == kProgramNoEndRecord || result == kProgramNoFile ||
        result == kProgramRewindFailed || (result > 0 && result <= kRecordEnd)) {
        std::fprintf(stderr,
                     "tovik-cli: the file could not be read during programming (%d); "
                     "the device is only partly programmed\n",
                     result);
        return kExitBadFile;
    }
    // Nothing else ends a pass; a result of its own would be a mistake here, not the device's.
    std::fprintf(stderr, "tovik-cli: the programming pass ended with %d\n", result);
    return kExitWriteRefused;
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
    std::string unavailable;
    if (o.simulate && !SimulatedDeviceAvailable(&unavailable)) {
        std::fprintf(stderr, "tovik-cli: %s\n", unavailable.c_str());
        return kExitUsage;
    }
    SetProcessCommandLine(o.handshake >= 0 ? "tovik-cli /HANDSHAKE " + std::to_string(o.handshake)
                                           : std::string("tovik-cli"));

    FilePtr file(std::fopen(o.file.c_str(), "r"));
    if (!file) {
        std::fprintf(stderr, "Sorry, cannot open %s: %s !\n", o.file.c_str(), std::strerror(errno));
        return kExitBadFile;
    }
    CFileCheck check;
    if (CheckSRecordFile(file.get(), &check) != 0) {
        std::fprintf(stderr, "%s\n", FileCheckMessage(check).c_str());
        return kExitBadFile;
    }
    const int lineCount = CountLines(file.get());
    std::rewind(file.get());
    if (o.dryRun) {
        return DryRun(file.get(), check);
    }

    std::unique_ptr<CSimulatedDevice> sim;
    const int comIndex = PreparePort(o, sim);
    if (comIndex < 0) {
        return kExitPortFailed;
    }
    if (o.trace) {
        SetFrameTrace(PrintFrame);
    }

    CConsolePanel panel(stderr, o.quiet, IsTerminal(stderr), check.dataBytes);
    std::atomic<bool> portFailed{false};
    SetMessageBoxHook([&](const std::string& text, const std::string&, unsigned type) {
        panel.BreakLine();
        if ((type & kMbButtonMask) == kMbRetryCancel) {
            // Nobody is there to plug the adapter in: give up instead of searching without a port.
            std::fprintf(stderr, "%s\n", text.c_str());
            portFailed = true;
            return kIdCancel;
        }
        std::fprintf((type & kMbIconInformation) ? stdout : stderr, "%s\n", text.c_str());
        std::fflush(stdout);
        return kIdOk;
    });

    panel.m_pFile = file.get();
    panel.m_nLineCount = lineCount;
    panel.m_nBaudIndex = o.baudIndex;
    panel.m_nComIndex = comIndex;
    panel.m_nState = 1;
    InstallInterruptHandlers(kInterruptedAgainText, kExitInterrupted);
    std::thread worker(LoaderThreadProc, &panel);
    while (!panel.m_bThreadRun && !panel.m_bThreadEnded) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    panel.m_bRun = 1;

    enum class Reason { kRun, kInterrupted, kPortFailed, kNoDevice } reason = Reason::kRun;
    const auto start = std::chrono::steady_clock::now();
    while (panel.m_bRun) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (InterruptCount() > 0) {
            reason = Reason::kInterrupted;
        } else if (portFailed) {
            reason = Reason::kPortFailed;
        } else if (o.timeoutSeconds > 0 && !panel.m_bDeviceFound &&
                   std::chrono::steady_clock::now() - start >
                       std::chrono::duration<double>(o.timeoutSeconds)) {
            reason = Reason::kNoDevice;
        }
        if (reason != Reason::kRun) {
            // Stop: the worker ends the run after the command in flight.
            panel.m_bRun = 0;
        }
    }
    panel.m_bThreadRun = false;
    worker.join();
    SetMessageBoxHook(nullptr);
    SetFrameTrace(nullptr);
    panel.BreakLine();

    switch (reason) {
    case Reason::kInterrupted:
        if (panel.m_bDeviceFound && !(panel.m_bProgramEnded && panel.m_nProgramResult == 0)) {
            std::fprintf(stderr, "tovik-cli: stopped; the device is erased or only partly "
                                 "programmed\n");
        } else {
            std::fprintf(stderr, "tovik-cli: stopped\n");
        }
        return kExitInterrupted;
    case Reason::kPortFailed:
        std::fprintf(stderr, "tovik-cli: the port cannot be opened (%s)\n",
                     ComDevicePath(comIndex).c_str());
        return kExitPortFailed;
    case Reason::kNoDevice:
        std::fprintf(stderr, "tovik-cli: no device answered within %g s\n", o.timeoutSeconds);
        return kExitNoDevice;
    case Reason::kRun:
        break;
    }
    return ExitCodeOfRun(panel);
}
