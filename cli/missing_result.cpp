#include "cli/missing_result.h"

#include "cli/exit_codes.h"

namespace {

// ", after 7168 bytes in 28 blocks at 115200 baud", or less where less is known.
std::string Figures(const PortState& state) {
    std::string text;
    if (state.bytes > 0 || state.blocks > 0) {
        text += ", after " + std::to_string(state.bytes) + " bytes in " +
                std::to_string(state.blocks) + (state.blocks == 1 ? " block" : " blocks");
    }
    if (state.baud > 0) {
        text += " at " + std::to_string(state.baud) + " baud";
    }
    return text;
}

} // namespace

std::string MissingResultMessage(const PortState& state, int exitCode, bool interruptedAgain) {
    std::string text =
        interruptedAgain && exitCode == kExitInterrupted
            ? "interrupted again"
            : "tovik-cli ended without a result (exit " + std::to_string(exitCode) + ")";
    // The same words as a single port uses for what became of the device.
    if (state.reached == "starting") {
        return text + " while starting the device" + Figures(state) +
               "; all data written, but the device did not confirm the start";
    }
    if (state.reached == "programming") {
        return text + " during programming" + Figures(state) +
               "; the device is only partly programmed";
    }
    if (state.reached == "erasing" && state.phase == "searching") {
        return text + " while searching again after a failed erase; the device may be partly "
                      "erased";
    }
    if (state.reached == "erasing") {
        return text + " during erasing; the device is erased";
    }
    if (state.reached == "searching") {
        return text + " while searching for the device; nothing was erased";
    }
    return text + " before it looked for the device; nothing was erased";
}
