// Completion of port records, the extra ports, the list items built from records, and the USB
// flag.
#include "SerialPortBus.h"
#include "SerialPortList.h"

#include <gtest/gtest.h>

namespace {
SSerInfo Record(const char* portName, const char* friendlyName, const char* description)
{
    SSerInfo info;
    info.devicePath = QStringLiteral("\\\\.\\") + QString::fromUtf8(portName);
    info.portName = QString::fromUtf8(portName);
    info.friendlyName = QString::fromUtf8(friendlyName);
    info.portDescription = QString::fromUtf8(description);
    return info;
}

struct CompletionCase {
    const char* what;
    SSerInfo in;
    const char* friendlyName;
    const char* description;
};

class CompletionTest : public testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionTest, fillsMissingNames)
{
    std::vector<SSerInfo> records{GetParam().in};
    CompleteSerialPortRecords(records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].friendlyName.toStdString(), GetParam().friendlyName);
    EXPECT_EQ(records[0].portDescription.toStdString(), GetParam().description);
    EXPECT_EQ(records[0].portName, GetParam().in.portName);
    EXPECT_EQ(records[0].devicePath, GetParam().in.devicePath);
}

INSTANTIATE_TEST_SUITE_P(
    Records, CompletionTest,
    testing::Values(
        CompletionCase{"bareName", Record("COM1", "", ""), "COM1", "COM1"},
        CompletionCase{"bothGiven", Record("", "USB Serial Port (COM3)", "USB Serial Port"),
                       "USB Serial Port (COM3)", "USB Serial Port"},
        CompletionCase{"cutAtPortPart", Record("COM2", "Port (COM2)", ""), "Port (COM2)", "Port"},
        CompletionCase{"firstParenNotLast", Record("COM2", "Modem (X) (COM2)", ""),
                       "Modem (X) (COM2)", "Modem (X) (COM2)"},
        CompletionCase{"parenAtStart", Record("COM2", " (COM2)", ""), " (COM2)", " (COM2)"},
        CompletionCase{"textAfterParen", Record("COM2", "Port (COM2) B", ""), "Port (COM2) B",
                       "Port (COM2) B"},
        CompletionCase{"noBlankBeforeParen", Record("COM2", "Port(COM2)", ""), "Port(COM2)",
                       "Port(COM2)"},
        CompletionCase{"descriptionKept", Record("ttyUSB0", "", "FT232R USB UART"), "ttyUSB0",
                       "FT232R USB UART"},
        CompletionCase{"nothingAtAll", Record("", "", ""), "", ""}),
    [](const testing::TestParamInfo<CompletionCase>& p) { return p.param.what; });

TEST(Completion, walksEveryRecordInOrder)
{
    std::vector<SSerInfo> records{Record("COM1", "", ""), Record("COM2", "Port (COM2)", "")};
    CompleteSerialPortRecords(records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].portDescription, QStringLiteral("COM1"));
    EXPECT_EQ(records[1].portDescription, QStringLiteral("Port"));
}

struct ItemCase {
    const char* what;
    SSerInfo in;
    const char* item;
    const char* name;
};

class ItemTest : public testing::TestWithParam<ItemCase> {};

TEST_P(ItemTest, buildsItemAndTakesNameBack)
{
    const QString item = PortListItem(GetParam().in);
    EXPECT_EQ(item.toStdString(), GetParam().item);
    EXPECT_EQ(PortNameFromItem(item).toStdString(), GetParam().name);
}

SSerInfo Completed(SSerInfo info)
{
    std::vector<SSerInfo> records{std::move(info)};
    CompleteSerialPortRecords(records);
    return records[0];
}

SSerInfo WithPath(const char* path, const char* description)
{
    SSerInfo info;
    info.devicePath = QString::fromUtf8(path);
    info.portDescription = QString::fromUtf8(description);
    return info;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ItemTest,
    testing::Values(
        ItemCase{"windowsUsb", Record("COM3", "USB Serial Port (COM3)", "USB Serial Port"),
                 "COM3 USB Serial Port", "COM3"},
        ItemCase{"windowsTwoDigits", Completed(Record("COM12", "Communications Port (COM12)", "")),
                 "COM12 Communications Port", "COM12"},
        ItemCase{"linuxUsb", Record("ttyUSB0", "FT232R USB UART (ttyUSB0)", "FT232R USB UART"),
                 "ttyUSB0 FT232R USB UART", "ttyUSB0"},
        ItemCase{"linuxNoDescription", Completed(Record("ttyS0", "", "")), "ttyS0", "ttyS0"},
        ItemCase{"pathWhenNoName", WithPath("/dev/pts/4", "Matrix simulator"),
                 "/dev/pts/4 Matrix simulator", "/dev/pts/4"}),
    [](const testing::TestParamInfo<ItemCase>& p) { return p.param.what; });

TEST(PortNameFromItem, takesTextUpToFirstBlank)
{
    EXPECT_EQ(PortNameFromItem(QString()), QString());
    EXPECT_EQ(PortNameFromItem(QStringLiteral("COM3")), QStringLiteral("COM3"));
    EXPECT_EQ(PortNameFromItem(QStringLiteral(" Port")), QString());
    EXPECT_EQ(PortNameFromItem(QStringLiteral("COM3 USB Serial Port (x)")), QStringLiteral("COM3"));
}

class ExtraPortsTest : public testing::Test {
protected:
    void SetUp() override { ClearExtraSerialPorts(); }
    void TearDown() override { ClearExtraSerialPorts(); }
    static std::vector<SSerInfo> Extras(const std::vector<SSerInfo>& all, size_t systemCount)
    {
        return {all.begin() + static_cast<std::ptrdiff_t>(systemCount), all.end()};
    }
};

TEST_F(ExtraPortsTest, appendedAfterSystemPortsCompletedAndReplacedByPath)
{
    const size_t systemCount = EnumerateSerialPorts().size();
    AddExtraSerialPort(WithPath("/dev/pts/7", "Matrix simulator"));
    AddExtraSerialPort(WithPath("/tmp/ttyV0", ""));
    AddExtraSerialPort(WithPath("/dev/pts/7", "Simulator, restarted"));

    const auto extras = Extras(EnumerateSerialPorts(), systemCount);
    ASSERT_EQ(extras.size(), 2u);
    EXPECT_EQ(extras[0].devicePath, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(extras[0].portName, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(extras[0].portDescription, QStringLiteral("Simulator, restarted"));
    EXPECT_EQ(extras[0].friendlyName, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(extras[1].portName, QStringLiteral("/tmp/ttyV0"));
    EXPECT_EQ(extras[1].portDescription, QStringLiteral("/tmp/ttyV0"));
    EXPECT_EQ(PortNameFromItem(PortListItem(extras[1])), QStringLiteral("/tmp/ttyV0"));

    ClearExtraSerialPorts();
    EXPECT_EQ(EnumerateSerialPorts().size(), systemCount);
}
struct BusCase {
    const char* what;
    const char* path;
    bool usb;
};

class UsbFlagTest : public testing::TestWithParam<BusCase> {};

TEST_P(UsbFlagTest, decidedByTheBusInSysfs)
{
    EXPECT_EQ(SysfsDeviceIsOnUsb(QString::fromUtf8(GetParam().path)), GetParam().usb);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UsbFlagTest,
    testing::Values(
        BusCase{"usbSerialAdapter", "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0",
                true},
        BusCase{"usbModemAcm", "/sys/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0", true},
        BusCase{"usbBehindHubOnArmBoard",
                "/sys/devices/platform/soc/3f980000.usb/usb1/1-1/1-1.3/1-1.3:1.0/ttyUSB0", true},
        BusCase{"onBoard8250", "/sys/devices/pnp0/00:05", false},
        BusCase{"platform8250", "/sys/devices/platform/serial8250", false},
        BusCase{"pciCard", "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0", false},
        BusCase{"usbInADriverNameOnly", "/sys/devices/platform/soc/3f980000.usb-serial", false},
        BusCase{"pseudoTerminal", "", false}),
    [](const testing::TestParamInfo<BusCase>& p) { return p.param.what; });

TEST(UsbFlag, windowsLocationBeginsWithUsb)
{
    EXPECT_TRUE(LocationInformationIsUsb(QStringLiteral("USB Serial Converter")));
    EXPECT_FALSE(LocationInformationIsUsb(QStringLiteral("PCI bus 3, device 0, function 0")));
    EXPECT_FALSE(LocationInformationIsUsb(QStringLiteral("usb, lower case")));
    EXPECT_FALSE(LocationInformationIsUsb(QString()));
}
} // namespace
