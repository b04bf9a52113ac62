// The by-id name of a device, as udev's links give it: the link that leads to that device, not a
// link to another one nor one whose device has gone.

#include "platform/port_listing.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(SerialByIdName, TheLinkThatLeadsToTheDevice) {
    const ScratchDir scratch;
    const std::string byId = scratch / "by-id";
    const std::string device = scratch / "ttyUSB1";
    ASSERT_EQ(::mkdir(byId.c_str(), 0755), 0);
    std::ofstream(device).close();
    std::ofstream(scratch / "ttyUSB0").close();
    ASSERT_EQ(::symlink("../ttyUSB0", (byId + "/usb-A-if00-port0").c_str()), 0);
    ASSERT_EQ(::symlink("../ttyUSB1", (byId + "/usb-B-if00-port0").c_str()), 0);
    ASSERT_EQ(::symlink("../ttyGONE", (byId + "/usb-C-if00-port0").c_str()), 0);
    EXPECT_EQ(SerialByIdName(device, byId), byId + "/usb-B-if00-port0");
    EXPECT_EQ(SerialByIdName(scratch / "ttyGONE", byId), "");
    EXPECT_EQ(SerialByIdName(device, scratch / "none"), "");
}

} // namespace
