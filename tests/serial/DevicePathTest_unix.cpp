// What a port name opens on Unix.
#include "SerialTransportSystem.h"

#include <gtest/gtest.h>

TEST(DevicePath, bareNamesLiveInDevAndPathsStayAsGiven)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-x", "/dev/serial/by-id/usb-x"},
        {"./ttyS1", "./ttyS1"},
        {"../pts/3", "../pts/3"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(serial_system::DevicePathFor(name).toStdString(), path) << name;
}
