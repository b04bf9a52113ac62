// Feeds arbitrary received bytes to the link's frame receiver, in and out of a transaction.

#include "platform/message_box.h"
#include "protocol/unit_link.h"
#include "tests/unit/fake_serial_device.h"

#include <cstdlib>

namespace {

struct Harness {
    FakeDeviceScope fake;
    VirtualClockScope time;
    CUnitLink* link = nullptr;
    Harness() {
        SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return kIdOk; });
        link = new CUnitLink(0, 38400, 60, 0);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* harness = new Harness;
    CUnitLink& link = *harness->link;
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the receiving mode and the sequence byte last sent to unit 0.
    link.m_transactionActive = data[0] & 1;
    link.m_unitSeq[0] = static_cast<uint8_t>(data[0] | 0xC0);
    link.m_tx[1] = 0x80;
    harness->fake.line->input.clear();
    harness->fake.line->Deliver(std::vector<uint8_t>(data + 1, data + size));
    for (int calls = 0; calls < 1000; ++calls) {
        int result = link.ReceiveFrame();
        if (link.m_rxLength < 0 || link.m_rxLength > 256) {
            std::abort();
        }
        if (result == 0) {
            // An accepted payload holds at least one byte and at most 250.
            if (link.m_rxLength < 1 || link.m_rxLength > 250) {
                std::abort();
            }
            link.m_rxLength = 0;
        } else if (harness->fake.line->input.empty()) {
            break;
        }
    }
    return 0;
}
