#pragma once
// Everything that shapes how the virtual device behaves: where it appears, how fast the line is,
// and which faults it plays so the host's recovery paths get exercised.

#include <cstdint>
#include <optional>
#include <string>

struct SimOptions {
    // Symlink made to point at the slave side, so scripts can use a fixed name. Empty: none.
    std::string linkPath;
    // Answer only while the host has set the line to this rate; 0 accepts every rate.
    int baudOnly = 0;
    // Pace both directions as a real 8N1 line at this rate would; 0 means as fast as possible.
    int wireBaud = 0;
    // How long an erase keeps the device busy before it replies.
    int eraseMs = 20;
    // Extra delay before every reply.
    int replyDelayMs = 0;
    // Hold bytes towards the host as a USB-serial adapter's latency timer does: until this long
    // after the first of them, or until a packet's worth is waiting. 0: pass them on at once.
    int latencyMs = 0;
    // Ignore the first copy of every frame but probes, so only the host's retransmission gets
    // answered.
    bool dropFirst = false;
    // Send junk and frames the host must not accept ahead of every reply.
    bool noise = false;
    // Fail the first erase of this cluster; later erases of it succeed.
    std::optional<int> eraseFailOnce;
    // Once that failure has been answered, answer nothing more: a device that is there but has
    // gone quiet, for the search that follows a failed erase.
    bool silentAfterEraseFail = false;
    // Refuse every write with this error number.
    std::optional<std::uint32_t> writeError;
    // Never reply to the start command.
    bool goSilent = false;
    // Where the memory image is written as S-records, on the start command and at exit. Empty:
    // nowhere.
    std::string dumpPath;
    // Print every frame received and sent to stderr.
    bool trace = false;
    // Leave the program once the start command has been answered.
    bool exitAfterGo = false;
    // A board in a fixture that gets swapped: once the start command has been answered the
    // device hears nothing for this long, as a board running its new firmware, then comes back
    // as a new, blank board; again after every start. Each board's dump goes to the dump path
    // with ".N" added (N counting the boards from 1). Unset: one board for good.
    std::optional<int> newBoardAfterMs;
};
