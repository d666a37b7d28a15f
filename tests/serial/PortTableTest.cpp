// The COM port table over fake sysfs trees and temporary port directories.
#include "serial/PortTable.h"
#include "serial/posix/linux/SysfsSerialDevices.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace porttable;

namespace {

// Builds a fake /sys: class/tty/<name> with device/driver for real devices.
struct FakeSysfs : TempFolder {
    void Device(const std::string& name, const std::string& type = "")
    {
        MakeFolder("devices/" + name + "/driver");
        Link("class/tty/" + name + "/device", "../../../devices/" + name);
        if (!type.empty()) Write("class/tty/" + name + "/type", type + "\n");
    }
    void Virtual(const std::string& name) { MakeFolder("class/tty/" + name); }
    void Console(const std::string& active) { Write("class/tty/console/active", active + "\n"); }
    // A USB adapter: the product name sits in the USB device two levels up.
    void UsbDevice(const std::string& name, const std::string& product)
    {
        const std::string usb = "devices/usb1/1-1";
        Write(usb + "/product", product + "\n");
        Write(usb + "/manufacturer", "Maker\n");
        Write(usb + "/idVendor", "0403\n");
        Write(usb + "/idProduct", "6001\n");
        MakeFolder(usb + "/1-1:1.0/" + name + "/driver");
        Link("class/tty/" + name + "/device", "../../../" + usb + "/1-1:1.0/" + name);
    }
};

std::vector<std::string> SortedNames(const std::vector<TSerialDevice>& devices)
{
    std::vector<std::string> names;
    for (const auto& d : SortDevices(devices)) names.push_back(d.name);
    return names;
}

}  // namespace

TEST(PortTable, RealDevicesInFamilyThenNumericOrder)
{
    std::vector<TSerialDevice> devices;
    for (const char* n : {"ttyACM0", "ttyUSB10", "ttyS1", "ttyXR0", "ttyUSB2", "ttyAMA0", "ttyS10", "ttyS2"})
        devices.push_back({n, std::string("/dev/") + n, ""});
    EXPECT_EQ(SortedNames(devices), (std::vector<std::string>{"ttyS1", "ttyS2", "ttyS10", "ttyUSB2", "ttyUSB10",
                                                              "ttyACM0", "ttyAMA0", "ttyXR0"}));
}

TEST(PortTable, ConsoleAndUartlessPlaceholdersAreNoPorts)
{
    FakeSysfs sys;
    sys.Device("ttyS0", "4");  // a UART, but the kernel's console
    sys.Device("ttyS1", "0");  // placeholder without a UART
    sys.Device("ttyS2", "4");
    sys.Device("ttyS3", "");  // no type attribute: not serial core, counts
    sys.Console("tty0 ttyS0");
    sys.Virtual("tty0");  // virtual terminals have no driver
    EXPECT_EQ(SortedNames(EnumerateSerialDevices(sys.str())), (std::vector<std::string>{"ttyS2", "ttyS3"}));
}

TEST(PortTable, DevicesCarryWhatTheSystemSaysOfThem)
{
    FakeSysfs sys;
    sys.UsbDevice("ttyUSB0", "RS485 Adapter");
    const auto devices = EnumerateSerialDevices(sys.str());
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].path, "/dev/ttyUSB0");
    EXPECT_EQ(devices[0].product, "RS485 Adapter");
    sys.Device("ttyS2", "4");
    for (const TSerialDevice& d : EnumerateSerialDevices(sys.str()))
        EXPECT_EQ(d.description, d.name == "ttyS2" ? "built-in UART" : "USB adapter Maker RS485 Adapter (0403:6001)");
    TPortEntry e{1, devices[0].path, devices[0].path, devices[0].product, false};
    EXPECT_EQ(Describe(e), "/dev/ttyUSB0 (RS485 Adapter)");
}

TEST(PortTable, MissingSysfsGivesNoDevices)
{
    EXPECT_TRUE(EnumerateSerialDevices("/nonexistent/quorvel-sysfs").empty());
}

TEST(PortTable, LinkNumbersWinAndDevicesFillTheFreeNumbers)
{
    TempFolder dir;
    dir.Link("COM2", "/dev/pts/7");
    dir.Link("COM4", "/dev/ttyUSB1");  // names a real device: it keeps only this number
    dir.Link("COM0", "/dev/pts/8");    // not a port number
    dir.Link("COM007", "/dev/pts/9");  // leading zeros are not accepted
    dir.Link("COMx", "/dev/pts/9");
    dir.Write("COM5", "a plain file is no link");
    const auto links = ReadPortLinks(dir.str());
    ASSERT_EQ(links.size(), 2u);

    const std::vector<TSerialDevice> devices{{"ttyS0", "/dev/ttyS0", ""},
                                             {"ttyS1", "/dev/ttyS1", ""},
                                             {"ttyUSB0", "/dev/ttyUSB0", "A"},
                                             {"ttyUSB1", "/dev/ttyUSB1", "B"},
                                             {"ttyACM0", "/dev/ttyACM0", ""}};
    const auto table = BuildPortTable(dir.str(), links, devices);
    std::vector<std::pair<int, std::string>> got;
    for (const auto& e : table) got.emplace_back(e.comNumber, e.device);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{1, "/dev/ttyS0"},
                                                             {2, "/dev/pts/7"},
                                                             {3, "/dev/ttyS1"},
                                                             {4, "/dev/ttyUSB1"},
                                                             {5, "/dev/ttyUSB0"},
                                                             {6, "/dev/ttyACM0"}}));
    EXPECT_TRUE(table[1].isLink);
    EXPECT_EQ(table[1].path, dir.str() + "/COM2");  // links are opened through the link
    EXPECT_EQ(table[0].path, "/dev/ttyS0");
}

TEST(PortTable, PortsTheSystemNamesComKeepTheirNumber)
{
    // As Windows lists them: COM3 and COM1 are taken, the unnamed device gets COM2.
    const std::vector<TSerialDevice> devices{
        {"COM3", "\\\\.\\COM3", ""}, {"ttyS0", "/dev/ttyS0", ""}, {"COM1", "\\\\.\\COM1", ""}};
    std::vector<std::pair<int, std::string>> got;
    for (const auto& e : BuildPortTable("", {}, devices)) got.emplace_back(e.comNumber, e.device);
    EXPECT_EQ(got,
              (std::vector<std::pair<int, std::string>>{{1, "\\\\.\\COM1"}, {2, "/dev/ttyS0"}, {3, "\\\\.\\COM3"}}));
}

// A port directory with a link as COM1 and a fake sysfs with ttyUSB0, both
// named by the environment; the directory gets `mode`.
struct PortEnvironment {
    explicit PortEnvironment(mode_t mode)
    {
        sys.Device("ttyUSB0");
        ports.Link("COM1", "/dev/pts/3");
        chmod(ports.str().c_str(), mode);
    }
    TempFolder ports;
    FakeSysfs sys;
    ScopedEnv portDir{"QUORVEL_PORT_DIR", ports.str()};
    ScopedEnv sysfs{"QUORVEL_SYSFS_ROOT", sys.str()};
};

TEST(PortTable, ResolveUsesTheEnvironment)
{
    PortEnvironment env(0700);
    EXPECT_EQ(ResolveComPort(1), env.ports.str() + "/COM1");
    EXPECT_EQ(ResolveComPort(2), "/dev/ttyUSB0");
    EXPECT_EQ(ResolveComPort(3), "");
}

TEST(PortTable, PortDirectoryWritableByOthersIsRefusedWithAMessage)
{
    PortEnvironment env(0777);
    std::string message;
    const auto table = CurrentPortTable(message);
    EXPECT_NE(message.find("writable by others"), std::string::npos) << message;
    ASSERT_EQ(table.size(), 1u);  // the planted link is ignored, real devices stay
    EXPECT_EQ(table[0].comNumber, 1);
    EXPECT_EQ(table[0].device, "/dev/ttyUSB0");
}

TEST(PortTable, MissingPortDirectoryIsCreatedPrivate)
{
    TempFolder base;
    const std::string dir = base.str() + "/run/quorvel/ports";
    ScopedEnv p("QUORVEL_PORT_DIR", dir);
    ScopedEnv s("QUORVEL_SYSFS_ROOT", base.str() + "/nosys");
    std::string message;
    EXPECT_TRUE(CurrentPortTable(message).empty());
    EXPECT_EQ(message, "");
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}
