#include "cli/cli_options.h"

#include "cli/exit_codes.h"
#include "platform/com_map.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

const std::map<std::string, int> kBaudIndexes = {
    {"auto", 0}, {"38400", 1}, {"57600", 2}, {"115200", 3}};

// A positive, finite number of seconds. Not CLI::PositiveNumber: that takes "nan" (with which no
// search would ever end) and names a range of 309 digits when it refuses.
const CLI::Validator kPositiveSeconds(
    [](std::string& text) {
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value) ||
            value <= 0) {
            return "SECONDS must be a positive number of seconds, such as 5 or 0.5, not '" + text +
                   "'";
        }
        return std::string();
    },
    "SECONDS");

constexpr char kEmptyPortText[] =
    "tovik-cli: --port is empty; give COM1..COM256 or a device path\nRun with --help for more "
    "information.\n";

// "--port=$PORT" with the variable unset reaches us as "--port=". The parser takes an empty value
// after '=' for none at all and gives the option the next word, so the file would become the port
// and the person would be told that no file was given. False, once told, for such a word.
bool NoEmptyPortAfterEquals(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") {
            break; // only positionals after it
        }
        if (word == "--port=") {
            std::fputs(kEmptyPortText, stderr);
            return false;
        }
    }
    return true;
}

// What a station, a count or a record cannot go with; nullptr when the options agree.
const char* StationConflict(const CliOptions& o) {
    if (o.count > 0 && !o.station) {
        return "--count counts the boards of a --station";
    }
    if (!o.logPath.empty() && (o.listPorts || o.dryRun)) {
        return "--log records loads; it does not go with --list-ports or --dry-run";
    }
    if (!o.station) {
        return nullptr;
    }
    if (o.ports.empty()) {
        return "--station needs a --port for every slot";
    }
    if (o.dryRun || o.listPorts || o.simulate) {
        return "--station loads boards on its ports; it does not go with --dry-run, "
               "--list-ports or --simulate";
    }
    if (o.timeoutSeconds > 0 || o.waitPortSeconds > 0) {
        return "--station waits for every board without limit; it does not go with --timeout "
               "or --wait-port";
    }
    return nullptr;
}

} // namespace

CliParse ParseCliOptions(int argc, const char* const* argv) {
    CliParse parse;
    CliOptions& o = parse.options;
    CLI::App app{"Loads a Motorola S-record firmware file into a Marlex controller over a serial "
                 "line.",
                 "tovik-cli"};
    app.set_version_flag("--version", "tovik-cli " TOVIK_VERSION);
    // The same options everywhere: on Windows CLI11 would otherwise take any argument that begins
    // with '/' for an option, and with it a file given as /path/to/firmware.s19.
    app.allow_windows_style_options(false);
    app.add_option("FILE", o.file, "the S-record file to load");
    // One value each time: "--port A --port B FILE" must leave FILE to the file.
    app.add_option("-p,--port", o.ports,
                   "COM1..COM256 (COM1 is " + DefaultComDevicePath(0) +
                       " unless the profile's [Ports] gives another device) or a device path; "
                       "given more than once, the file is loaded into every port in parallel")
        ->allow_extra_args(false);
    app.add_option("--wait-port", o.waitPortSeconds,
                   "when the port is not there yet, wait up to SECONDS for it to appear")
        ->check(kPositiveSeconds);
    app.add_flag("--json", o.json, "JSON lines on stdout: progress events and the result");
    std::string baud = "38400";
    app.add_option("-b,--baud", baud, "auto | 38400 | 57600 | 115200 (default 38400)")
        ->check(CLI::IsMember({"auto", "AUTO", "38400", "57600", "115200"}));
    app.add_flag("--simulate", o.simulate, "load into the built-in virtual device");
    app.add_flag("--dry-run", o.dryRun, "check the file and list the write blocks; send nothing");
    app.add_option("--timeout", o.timeoutSeconds,
                   "give up when a search has found no device within SECONDS (default: search "
                   "on)")
        ->check(kPositiveSeconds);
    app.add_option("--handshake", o.handshake, "DTR/RTS mode, as the dialog's HANDSHAKE option");
    app.add_flag("--trace", o.trace, "every frame sent and received, in hex, on stderr");
    app.add_flag("-q,--quiet", o.quiet, "no progress display");
    app.add_flag("--list-ports", o.listPorts, "list the serial ports found, and exit");
    app.add_flag("--station", o.station,
                 "production station: every --port is a slot, loaded board after board until "
                 "Ctrl-C or --count");
    app.add_option("--count", o.count, "--station: end once N boards have passed")
        ->check(CLI::Range(1, 1000000000));
    app.add_option("--log", o.logPath, "append one JSON record per load to FILE, made durable");
    app.add_option("--station-name", o.stationName,
                   "the station's name in the records (default: the short host name)");
    // Not for people: see CliOptions::checkedCopy, child and stationTally.
    app.add_option("--checked-copy", o.checkedCopy)->group("");
    app.add_flag("--child", o.child)->group("");
    app.add_option("--station-tally", o.stationTally)->group("");
    if (!NoEmptyPortAfterEquals(argc, argv)) {
        parse.exitCode = kExitUsage;
        return parse;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        parse.exitCode = code == 0 ? 0 : kExitUsage;
        return parse;
    }
    // An unset shell variable (--port "$PORT") must not fall back to COM1 and load whatever
    // answers there.
    for (const std::string& port : o.ports) {
        if (port.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
            std::fputs(kEmptyPortText, stderr);
            parse.exitCode = kExitUsage;
            return parse;
        }
    }
    for (char& c : baud) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    o.baudIndex = kBaudIndexes.at(baud);
    if (!o.listPorts && o.file.empty()) {
        std::fprintf(stderr, "tovik-cli: no FILE given\nRun with --help for more information.\n");
        parse.exitCode = kExitUsage;
        return parse;
    }
    o.port = o.ports.empty() ? std::string() : o.ports.front();
    if (o.json && (o.listPorts || o.dryRun)) {
        std::fprintf(stderr, "tovik-cli: --json reports loads; it does not go with --%s\n",
                     o.listPorts ? "list-ports" : "dry-run");
        parse.exitCode = kExitUsage;
        return parse;
    }
    const char* refused = StationConflict(o);
    if (refused != nullptr) {
        std::fprintf(stderr, "tovik-cli: %s\nRun with --help for more information.\n", refused);
        parse.exitCode = kExitUsage;
        return parse;
    }
    if (o.simulate && !o.port.empty()) {
        std::fprintf(stderr, "tovik-cli: --simulate and --port exclude each other\n");
        parse.exitCode = kExitUsage;
        return parse;
    }
    parse.run = true;
    return parse;
}

std::vector<std::string> ChildArguments(const CliOptions& o, const std::string& port,
                                        const std::string& checkedCopy) {
    // Seconds as the shortest text that reads back to the same number.
    const auto seconds = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        return std::string(text);
    };
    std::vector<std::string> args{"--port", port, "--json", "--quiet"};
    for (const auto& baud : kBaudIndexes) {
        if (baud.second == o.baudIndex) {
            args.insert(args.end(), {"--baud", baud.first});
        }
    }
    if (o.timeoutSeconds > 0) {
        args.insert(args.end(), {"--timeout", seconds(o.timeoutSeconds)});
    }
    if (o.waitPortSeconds > 0) {
        args.insert(args.end(), {"--wait-port", seconds(o.waitPortSeconds)});
    }
    if (o.handshake >= 0) {
        args.insert(args.end(), {"--handshake", std::to_string(o.handshake)});
    }
    if (o.trace) {
        args.push_back("--trace");
    }
    if (!checkedCopy.empty()) {
        args.insert(args.end(), {"--checked-copy", checkedCopy});
    }
    if (o.station) {
        args.push_back("--station");
    }
    if (o.count > 0) {
        args.insert(args.end(), {"--count", std::to_string(o.count)});
    }
    if (!o.logPath.empty()) {
        args.insert(args.end(), {"--log", o.logPath});
    }
    if (!o.stationName.empty()) {
        args.insert(args.end(), {"--station-name", o.stationName});
    }
    if (!o.stationTally.empty()) {
        args.insert(args.end(), {"--station-tally", o.stationTally});
    }
    args.push_back("--child");
    // After "--" a file whose name begins with '-' is still the file.
    args.insert(args.end(), {"--", o.file});
    return args;
}
