// What a port name opens on Windows: COM ports through the device namespace, without which
// COM10 and above cannot be opened.
#include "SerialTransportSystem.h"

#include <gtest/gtest.h>

TEST(DevicePath, comNamesOpenThroughTheDeviceNamespace)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM3", "\\\\.\\COM3"},        {"COM10", "\\\\.\\COM10"}, {"com12", "\\\\.\\COM12"},
        {"\\\\.\\COM5", "\\\\.\\COM5"}, {"COMX", "COMX"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(serial_system::DevicePathFor(name).toStdString(), path) << name;
}
