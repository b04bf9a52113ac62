#include "cli/port_choice.h"

#include "cli/cli_options.h"
#include "cli/user_messages.h"
#include "loader/baud_rates.h"
#include "platform/com_map.h"
#include "serial/serial_port.h"

// The device behind the index is what the port policy gives the port layer.
int ChoosePort(const CliOptions& o, const std::string& comMapProblem,
               std::unique_ptr<CSimulatedDevice>& sim, std::string* devicePath) {
    if (o.simulate) {
        std::string error;
        sim = StartSimulatedDevice(StartBaudRate(o.baudIndex), &error);
        if (!sim) {
            TellUserF(Told::kProblem, "tovik-cli: the virtual device did not start: %s",
                      error.c_str());
            return -1;
        }
        *devicePath = sim->PortPath();
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
    *devicePath = index >= 0 ? ComDevicePath(index) : o.port;
    // The port layer opens COM1 to COM8 only, the ports the dialog offers. A device path, or a
    // higher COM number, is opened in COM1's place instead.
    return index >= 0 && index < kPortLimit ? index : 0;
}
