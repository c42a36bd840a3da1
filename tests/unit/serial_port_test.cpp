// The serial port layer against real pseudo-terminal pairs, and the search for the
// module's port in fake sysfs trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "serial/comport.h"
#include "serial/comport_mode.h"
#include "serial/module_serial_port.h"
#include "sim/sim_serial_port.h"
#include "unit/temp_folder.h"

namespace {

// A pseudo-terminal pair whose terminal end is reachable as <folder>/<name>, with
// the port name table pointed at that folder.
class PtyPorts : public ::testing::Test {
protected:
    void SetUp() override { set_comport_device_folder(devices.path().c_str()); }
    void TearDown() override {
        close_module_serial_port();
        for (int i = 0; i < COMPORT_COUNT; ++i) comport_close(i);
        set_comport_device_folder(nullptr);
        set_serial_sysfs_root(nullptr);
        for (int fd : fds) close(fd);
    }
    // Links `name` in the device folder to a new terminal; gives its master end.
    int add_pty(const std::string& name) {
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
        fds.push_back(master);
        fds.push_back(slave);
        if (symlink(ttyname(slave), devices.file(name).c_str()) != 0) return -1;
        return master;
    }
    std::string open_output(int index, int baud, const char* mode) {
        testing::internal::CaptureStdout();
        result = comport_open(index, baud, mode);
        return testing::internal::GetCapturedStdout();
    }

    TempFolder devices;
    std::vector<int> fds;
    int result = -1;
};

TEST(ComportTable, TtyNamesMapToIndexesAndBack) {
    EXPECT_STREQ(comport_device_name(0), "/dev/ttyACM0");
    EXPECT_STREQ(comport_device_name(127), "/dev/ttyACM127");
    EXPECT_STREQ(comport_device_name(128), "/dev/ttyUSB0");
    EXPECT_STREQ(comport_device_name(255), "/dev/ttyUSB127");
    EXPECT_EQ(comport_device_name(256), nullptr);
    EXPECT_EQ(comport_device_name(-1), nullptr);
    const struct {
        const char* name;
        int index;
    } cases[] = {{"ttyACM0", 0},   {"ttyACM11", 11}, {"ttyUSB0", 128}, {"ttyUSB127", 255},
                 {"ttyUSB128", -1}, {"ttyACM", -1},  {"ttyACM01", -1}, {"ttyS0", -1},
                 {"ttyACM1x", -1},  {"", -1}};
    for (const auto& c : cases) EXPECT_EQ(comport_index_of_tty(c.name), c.index) << c.name;
}

TEST(ComportMode, DeviceControlTextCarriesTheLineSettings) {
    const struct {
        int baud;
        const char* mode;
        const char* text;
        int data_bits;
        char parity;
        int stop_bits;
    } cases[] = {
        {115200, "8N1", "baud=115200 data=8 parity=n stop=1 dtr=on rts=on", 8, 'n', 1},
        {9600, "7E2", "baud=9600 data=7 parity=e stop=2 dtr=on rts=on", 7, 'e', 2},
        {110, "5o1", "baud=110 data=5 parity=o stop=1 dtr=on rts=on", 5, 'o', 1},
    };
    for (const auto& c : cases) {
        char text[80];
        build_device_control_text(c.baud, c.mode, text, sizeof text);
        EXPECT_STREQ(text, c.text);
        platform::SerialLine line;
        ASSERT_TRUE(parse_device_control_text(text, &line)) << text;
        EXPECT_EQ(line.baud, c.baud);
        EXPECT_EQ(line.data_bits, c.data_bits);
        EXPECT_EQ(line.parity, c.parity);
        EXPECT_EQ(line.stop_bits, c.stop_bits);
        EXPECT_TRUE(line.dtr && line.rts);
    }
    platform::SerialLine line;
    for (const char* bad : {"", "baud=x data=8 parity=n stop=1 dtr=on rts=on",
                            "baud=9600 data=8 parity=nn stop=1 dtr=on rts=on", "baud=9600 data=8"})
        EXPECT_FALSE(parse_device_control_text(bad, &line)) << bad;
}

TEST_F(PtyPorts, BadArgumentsAreRefusedWithTheirMessages) {
    const struct {
        int index;
        int baud;
        const char* mode;
        const char* message;
    } cases[] = {
        {256, 115200, "8N1", "illegal comport number\n"},
        {-1, 115200, "8N1", "illegal comport number\n"},
        {0, 14400, "8N1", "invalid baudrate\n"},
        {0, 0, "8N1", "invalid baudrate\n"},
        {0, 115200, "8N", "invalid mode \"8N\"\n"},
        {0, 115200, "8N11", "invalid mode \"8N11\"\n"},
        {0, 115200, "9N1", "invalid number of data-bits '9'\n"},
        {0, 115200, "4N1", "invalid number of data-bits '4'\n"},
        {0, 115200, "8X1", "invalid parity 'X'\n"},
        {0, 115200, "8N3", "invalid number of stop bits '3'\n"},
        {0, 115200, "8N0", "invalid number of stop bits '0'\n"},
        {3, 115200, "8N1", "unable to open comport\n"},  // no such device
    };
    for (const auto& c : cases) {
        EXPECT_EQ(open_output(c.index, c.baud, c.mode), c.message) << c.mode << " " << c.baud;
        EXPECT_EQ(result, 1);
    }
}

TEST_F(PtyPorts, AFileThatIsNoTerminalDoesNotOpen) {
    devices.put("ttyACM2", "plain file");
    EXPECT_EQ(open_output(2, 115200, "8N1"), "unable to open comport\n");
    EXPECT_EQ(result, 1);
}

TEST_F(PtyPorts, OpenSets115200EightNoneOneRaw) {
    const int master = add_pty("ttyACM11");
    for (const char* mode : {"8N1", "8n1"}) {
        EXPECT_EQ(open_output(11, 115200, mode), "");
        ASSERT_EQ(result, 0) << mode;
        termios tio{};
        ASSERT_EQ(tcgetattr(master, &tio), 0);  // a master reports its terminal's settings
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B115200));
        EXPECT_EQ(cfgetispeed(&tio), speed_t(B115200));
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
        EXPECT_NE(tio.c_cflag & CREAD, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
}

TEST_F(PtyPorts, OtherModesAndRatesReachTheTerminal) {
    const int master = add_pty("ttyUSB0");
    ASSERT_EQ(open_output(128, 9600, "7e2"), "");
    ASSERT_EQ(result, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    // A pseudo-terminal keeps 8 data bits without parity whatever is asked; the stop
    // bits do reach it.
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    // Rates without a termios name go through the kernel's free speed setting.
    EXPECT_EQ(open_output(128, 256000, "5O1"), "");
    EXPECT_EQ(result, 0);
}

TEST_F(PtyPorts, ReadsReturnAtOnceWithWhatHasArrived) {
    const int master = add_pty("ttyACM0");
    ASSERT_EQ(open_output(0, 115200, "8N1"), "");
    unsigned char buffer[64];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(comport_read(0, buffer, sizeof buffer), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

    ASSERT_EQ(write(master, "abc\r\n\x00\xff", 7), 7);
    usleep(20000);
    ASSERT_EQ(comport_read(0, buffer, 4), 4);  // at most `size`
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "abc\r");
    ASSERT_EQ(comport_read(0, buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), std::string("\n\x00\xff", 3));
    EXPECT_EQ(comport_read(0, buffer, sizeof buffer), 0);

    const unsigned char out[] = {0x01, 0x0A, 0x0D, 0xFF};
    EXPECT_EQ(comport_write(0, out, 4), 4);
    char seen[8] = {};
    usleep(20000);
    ASSERT_EQ(read(master, seen, sizeof seen), 4);  // raw: no line-end translation
    EXPECT_EQ(std::memcmp(seen, out, 4), 0);
}

TEST_F(PtyPorts, AWriteNobodyTakesStopsAtItsLimit) {
    add_pty("ttyACM0");  // the master end is never read: the terminal's buffer fills up
    ASSERT_EQ(open_output(0, 115200, "8N1"), "");
    std::vector<unsigned char> big(1 << 20, 0x55);
    const auto start = std::chrono::steady_clock::now();
    const int written = comport_write(0, big.data(), int(big.size()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(written, 0);
    EXPECT_LT(written, int(big.size()));
    EXPECT_GE(took, std::chrono::milliseconds(COMPORT_WRITE_LIMIT_MS - 10));
    EXPECT_LT(took, std::chrono::milliseconds(COMPORT_WRITE_LIMIT_MS + 400));
}

TEST_F(PtyPorts, ClosedOrUnknownPortsNeitherReadNorWrite) {
    unsigned char b[4] = {};
    EXPECT_EQ(comport_read(5, b, 4), 0);
    EXPECT_EQ(comport_write(5, b, 4), -1);
    EXPECT_EQ(comport_read(300, b, 4), 0);
    EXPECT_EQ(comport_write(-1, b, 4), -1);
    comport_close(300);
    add_pty("ttyACM5");
    ASSERT_EQ(open_output(5, 115200, "8N1"), "");
    comport_close(5);
    EXPECT_EQ(comport_write(5, b, 4), -1);
}

// A fake sysfs: USB devices with their ids and interfaces holding tty nodes.
class FakeSysfs : public PtyPorts {
protected:
    void SetUp() override {
        PtyPorts::SetUp();
        mkdir(sysfs.file("bus").c_str(), 0700);
        mkdir(sysfs.file("bus/usb").c_str(), 0700);
        mkdir(sysfs.file("bus/usb/devices").c_str(), 0700);
        set_serial_sysfs_root(sysfs.path().c_str());
    }
    // `tty_path` is below the interface: "tty/ttyACM0" or "ttyUSB0".
    void add_device(const std::string& name, const char* vendor, const char* product,
                    const std::string& tty_path) {
        const std::string device = "bus/usb/devices/" + name;
        mkdir(sysfs.file(device).c_str(), 0700);
        sysfs.put(device + "/idVendor", vendor);
        sysfs.put(device + "/idProduct", product);
        std::string path = device + "/" + name + ":1.0";
        mkdir(sysfs.file(path).c_str(), 0700);
        size_t slash = 0;
        while ((slash = tty_path.find('/', slash + 1)) != std::string::npos)
            mkdir(sysfs.file(path + "/" + tty_path.substr(0, slash)).c_str(), 0700);
        mkdir(sysfs.file(path + "/" + tty_path).c_str(), 0700);
    }
    TempFolder sysfs;
};

TEST_F(FakeSysfs, FindsTheModulesTtyAmongDecoys) {
    add_device("1-1", "12aa\n", "4f59\n", "tty/ttyACM0");  // another product of the maker
    add_device("1-2", "1d6b\n", "4f58\n", "ttyUSB0");      // another maker
    add_device("2-1", "12aa\n", "4f58\n", "tty/ttyACM3");  // the module
    add_device("usb1", "12aa", "4f58", "tty/ttyACM200");   // outside the table: skipped
    add_pty("ttyACM0");
    add_pty("ttyUSB0");
    add_pty("ttyACM3");
    testing::internal::CaptureStdout();
    open_module_serial_port();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(module_serial_port.open, 1);
    EXPECT_EQ(module_serial_port.index, 3);

    // Searching again while it is open changes nothing.
    add_device("1-0", "12aa\n", "4f58\n", "ttyUSB0");
    open_module_serial_port();
    EXPECT_EQ(module_serial_port.index, 3);

    close_module_serial_port();
    EXPECT_EQ(module_serial_port.open, 0);
    unsigned char b[1] = {0};
    EXPECT_EQ(comport_write(3, b, 1), -1);  // really closed
    open_module_serial_port();
    EXPECT_EQ(module_serial_port.index, 128);
}

TEST_F(FakeSysfs, AnInstanceThatDoesNotOpenMovesTheSearchOn) {
    add_device("1-1", "12aa\n", "4f58\n", "tty/ttyACM1");  // no device node: busy or gone
    add_device("1-2", "12aa\n", "4f58\n", "ttyUSB4");
    add_pty("ttyUSB4");
    testing::internal::CaptureStdout();
    open_module_serial_port();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unable to open comport\n");
    EXPECT_EQ(module_serial_port.open, 1);
    EXPECT_EQ(module_serial_port.index, 132);
}

TEST_F(FakeSysfs, NoModuleLeavesTheFlagClear) {
    add_device("1-1", "12aa\n", "4f58\n", "tty/ttyACM1");
    testing::internal::CaptureStdout();
    open_module_serial_port();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(module_serial_port.open, 0);
    close_module_serial_port();  // nothing to close
    EXPECT_EQ(module_serial_port.open, 0);
}

TEST(SimulatedSerialPort, IsFoundByTheSearchAndEchoes) {
    install_simulated_serial_port();
    open_module_serial_port();
    ASSERT_EQ(module_serial_port.open, 1);
    EXPECT_EQ(module_serial_port.index, 0);
    const unsigned char text[] = "ID?\r";
    ASSERT_EQ(comport_write(module_serial_port.index, text, 4), 4);
    unsigned char got[16] = {};
    int n = 0;
    for (int tries = 0; tries < 50 && n < 4; ++tries) {
        n += comport_read(module_serial_port.index, got + n, int(sizeof got) - n);
        usleep(2000);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), size_t(n)), "ID?\r");
    const std::string device = comport_device_name(module_serial_port.index);
    close_module_serial_port();
    install_module_serial_simulation(nullptr);
    struct stat st {};
    EXPECT_NE(lstat(device.c_str(), &st), 0);  // its device tree is gone
    EXPECT_STREQ(comport_device_name(0), "/dev/ttyACM0");
}

}  // namespace
