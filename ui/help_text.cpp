#include "ui/help_text.h"

#include "platform/com_map.h"
#include "settings/profile.h"

std::string HelpText() {
    std::string text =
        "Tovik loads a Motorola S-record firmware file into a Marlex controller over a serial "
        "line.\n\n"
        "Choose the interface, the baud rate (AUTO tries 38400 and 57600 in turn) and the file, "
        "then press Start. Tovik looks for the device, erases memory clusters 1 to 7, writes the "
        "file and starts the new firmware. Stop ends a run after the command in flight.\n\n"
        "Interfaces:\n";
    for (int index = 0; index < 9; ++index) {
        text += "  Com" + std::to_string(index + 1) + " = " + ComDevicePath(index) + "\n";
    }
    const std::string profile = CProfile::DefaultPath();
    text += "\nThe settings and the interface map (section [Ports], e.g. COM1=/dev/ttyUSB0) are "
            "kept in\n  " +
            (profile.empty() ? std::string("(nowhere: there is no home directory)") : profile) +
            "\n\nHANDSHAKE on the command line drives DTR and RTS: /HANDSHAKE 1 holds both on, "
            "/HANDSHAKE 3 switches them around every frame; without it both stay off.";
    return text;
}
