#include "sim/sim_command_line.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

namespace {

// Accepts exactly eight hex digits, the way the device prints error numbers.
std::string CheckHex8(const std::string& text) {
    if (text.size() != 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return "expected exactly 8 hex digits, got '" + text + "'";
    }
    return std::string();
}

} // namespace

SimCommandLine ParseSimCommandLine(int argc, const char* const* argv) {
    SimCommandLine result;
    SimOptions& o = result.options;
    std::string writeError;
    int eraseFailCluster = -1;
    int newBoardAfterMs = -1;

    CLI::App app{"Virtual serial-line controller (unit 0) on a pseudo-terminal", "tovik-sim"};
    app.set_version_flag("--version", "tovik-sim " TOVIK_VERSION);
    app.add_option("--link", o.linkPath, "Also make PATH a symlink to the slave side")
        ->option_text("PATH");
    app.add_option("--baud-only", o.baudOnly, "Answer only while the line runs at RATE")
        ->option_text("RATE")
        ->check(CLI::PositiveNumber);
    app.add_option("--wire-baud", o.wireBaud, "Pace both directions like a real line at RATE")
        ->option_text("RATE")
        ->check(CLI::PositiveNumber);
    app.add_option("--erase-ms", o.eraseMs, "Time an erase takes (default 20)")
        ->option_text("MS")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--reply-delay-ms", o.replyDelayMs, "Wait this long before every reply")
        ->option_text("MS")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--latency-ms", o.latencyMs,
                   "Hold bytes to the host until MS after the first or 62 wait, as a USB adapter")
        ->option_text("MS")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--drop-first", o.dropFirst, "Ignore the first copy of every frame but probes");
    app.add_flag("--noise", o.noise, "Send junk and foreign frames before every reply");
    CLI::Option* eraseFail =
        app.add_option("--erase-fail-once", eraseFailCluster, "Fail the first erase of cluster N")
            ->option_text("N")
            ->check(CLI::Range(0, 255));
    app.add_flag("--silent-after-erase-fail", o.silentAfterEraseFail,
                 "Answer nothing more once that failed erase has been answered")
        ->needs(eraseFail);
    app.add_option("--write-err", writeError, "Refuse every write with error HEX8")
        ->option_text("HEX8")
        ->check(CLI::Validator(CheckHex8, "HEX8"));
    app.add_flag("--go-silent", o.goSilent, "Never answer the start command");
    app.add_option("--dump", o.dumpPath, "Write memory as S-records on start command and exit")
        ->option_text("FILE");
    app.add_flag("--trace", o.trace, "Print every frame received and sent to stderr");
    app.add_flag("--exit-after-go", o.exitAfterGo, "Exit once the start command was answered");
    app.add_option("--new-board-after", newBoardAfterMs,
                   "After every start, answer nothing for MS, then be a new, blank board")
        ->option_text("MS")
        ->check(CLI::NonNegativeNumber);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help prints and succeeds; every usage error ends with the usual status 2.
        result.exitCode = app.exit(e) == 0 ? 0 : 2;
        return result;
    }
    if (eraseFailCluster >= 0) {
        o.eraseFailOnce = eraseFailCluster;
    }
    if (newBoardAfterMs >= 0) {
        o.newBoardAfterMs = newBoardAfterMs;
    }
    if (!writeError.empty()) {
        o.writeError = static_cast<std::uint32_t>(std::strtoul(writeError.c_str(), nullptr, 16));
    }
    result.run = true;
    return result;
}
