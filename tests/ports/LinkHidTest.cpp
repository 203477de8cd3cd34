#include "device/PortFunctions.h"
#include "linkport.h"
#include "ports/HidSimServer.h"
#include "ports/UpsDescriptor.h"
#include "support/TestSupport.h"

#include <stdlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using varnel::test::HidSimServer;
using varnel::test::RawHidDevice;
using varnel::upssim::FaultMode;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kVendor = 0xFFFF;

Bytes bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// A library in bin/, its exports resolved as the device code resolves them.
struct LinkHid : varnel::PortFunctions {
    varnel::DynamicLibrary library;

    explicit LinkHid(const char* name = "linkhid")
    {
        if (library.open(name))
            static_cast<varnel::PortFunctions&>(*this) = varnel::resolvePortFunctions(library);
    }
    std::string failure() const { return openFailureReason() ? openFailureReason() : ""; }

    // The value's bytes, or nothing when the read failed.
    std::vector<uint8_t> get(uint32_t port, uint32_t page, uint8_t usage) const
    {
        uint8_t buffer[256];
        uint32_t length = 0xDEAD;
        if (!getHid(port, 0, 0, page, usage, buffer, &length))
            return {};
        EXPECT_LT(length, 256u);
        return std::vector<uint8_t>(buffer, buffer + length);
    }
};

struct EnvVar {
    std::string name;
    std::string saved;
    bool had;
    EnvVar(const char* name, const std::string& value) : name(name), had(getenv(name) != nullptr)
    {
        if (had)
            saved = getenv(name);
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar()
    {
        if (had)
            setenv(name.c_str(), saved.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

struct Found {
    std::string name;
    uint32_t transport;
    std::string vendor;
    std::string product;
};

std::vector<Found> enumerate(const LinkHid& lib)
{
    std::vector<Found> found;
    lib.enumerate(
        [](PortDescriptor* port, void* context) -> int32_t {
            EXPECT_EQ(port->size, sizeof(PortDescriptor));
            Found entry{port->portName, port->transport, "", ""};
            if (port->vendorName && port->vendorNameLength > 0)
                entry.vendor.assign(port->vendorName, static_cast<size_t>(port->vendorNameLength));
            if (port->productName && port->productNameLength > 0)
                entry.product.assign(port->productName, static_cast<size_t>(port->productNameLength));
            static_cast<std::vector<Found>*>(context)->push_back(entry);
            return 1;
        },
        &found);
    return found;
}

PortDescriptor descriptorFor(const std::string& path, uint32_t transport = PORT_TRANSPORT_HID)
{
    PortDescriptor port{};
    port.size = sizeof(PortDescriptor);
    port.transport = transport;
    port.portName = path.c_str();
    return port;
}

class LinkHidTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lib.complete()) << "linkhid.so missing or short of an export";
        varnel::upssim::UnitConfig values;
        values.protocol = varnel::upssim::UnitProtocol::Hid;
        values.vendorName = "Varnel Power";
        values.productName = "VP-1500 UPS";
        values.configurationInfo = 0x0103;
        values.internalBatteryCount = 4;
        values.internalBatteryType = 7;
        values.externalBatteryCount = 2;
        values.cTableHighB = 9;
        ups = std::make_unique<varnel::test::SimulatedUps>(socketPath("ups"), values);
        ASSERT_TRUE(ups->server.listening());
    }
    std::string socketPath(const std::string& name) const { return (dir.path() / name).string(); }
    uint32_t openUnit(const std::string& name = "ups")
    {
        std::string path = socketPath(name);
        PortDescriptor port = descriptorFor(path);
        return lib.open(&port);
    }

    varnel::test::TempDir dir;
    LinkHid lib;
    std::unique_ptr<varnel::test::SimulatedUps> ups;
};

TEST_F(LinkHidTest, EnumeratesSimulatedPowerDevicesWithTheirNamesAndOpensThemInsideTheCallback)
{
    HidSimServer keyboard(socketPath("keyboard"), RawHidDevice{varnel::test::keyboardDescriptor()});
    EnvVar simulators(LINKHIDSIM_ENV,
                      socketPath("ups") + ":" + socketPath("keyboard") + "::" + socketPath("nobody-listens"));
    std::vector<Found> found = enumerate(lib);
    ASSERT_GE(found.size(), 2u);
    // The simulators come after any real devices, in the order named; the keyboard is left out.
    const Found& ups = found[found.size() - 2];
    EXPECT_EQ(ups.name, socketPath("ups"));
    EXPECT_EQ(ups.transport, static_cast<uint32_t>(PORT_TRANSPORT_HID));
    EXPECT_EQ(ups.vendor, "Varnel Power");
    EXPECT_EQ(ups.product, "VP-1500 UPS");
    // A named socket without a unit is still reported, so that its open can say why it fails.
    EXPECT_EQ(found.back().name, socketPath("nobody-listens"));
    EXPECT_EQ(found.back().vendor, "");
    {
        // Detection off: exactly the named sockets that hold a power device or nothing.
        EnvVar noDetect("LINKHID_DETECT", "0");
        std::vector<Found> named = enumerate(lib);
        ASSERT_EQ(named.size(), 2u);
        EXPECT_EQ(named[0].name, socketPath("ups"));
    }

    // Discovery opens each port from inside the callback, through a second load of the library.
    struct Context {
        std::string wanted;
        int opened = 0;
        std::vector<uint8_t> configuration;
    } context{socketPath("ups"), 0, {}};
    lib.enumerate(
        [](PortDescriptor* port, void* raw) -> int32_t {
            auto* c = static_cast<Context*>(raw);
            if (c->wanted != port->portName)
                return 1;
            LinkHid second;
            uint32_t h = second.open(port);
            if (h == 0)
                return 1;
            c->configuration = second.get(h, kVendor, 0x68);
            if (second.close(h))
                ++c->opened;
            return 1;
        },
        &context);
    EXPECT_EQ(context.opened, 1);
    EXPECT_EQ(context.configuration, (std::vector<uint8_t>{0x03, 0x01}));

    // linkusb is the same code under transport 2; neither accepts the other's descriptors.
    LinkHid usb("linkusb");
    ASSERT_TRUE(usb.complete()) << "linkusb.so missing or short of an export";
    std::vector<Found> usbFound = enumerate(usb);
    ASSERT_FALSE(usbFound.empty());
    EXPECT_EQ(usbFound.back().transport, static_cast<uint32_t>(PORT_TRANSPORT_USB));
    std::string path = socketPath("ups");
    PortDescriptor hidPort = descriptorFor(path);
    PortDescriptor usbPort = descriptorFor(path, PORT_TRANSPORT_USB);
    EXPECT_EQ(usb.open(&hidPort), 0u);
    EXPECT_EQ(lib.open(&usbPort), 0u);
    uint32_t h = usb.open(&usbPort);
    EXPECT_NE(h, 0u);
    EXPECT_EQ(usb.get(h, 0x84, 0xFE), bytes("VP-1500 UPS"));
    EXPECT_NE(usb.close(h), 0);
}

TEST_F(LinkHidTest, ReadsAndWritesTheBatteryConfigurationOfAUnit)
{
    uint32_t h = openUnit();
    ASSERT_NE(h, 0u) << lib.failure();
    EXPECT_EQ(lib.openFailureReason(), nullptr);

    EXPECT_EQ(lib.get(h, kVendor, 0x68), (Bytes{0x03, 0x01}));
    EXPECT_EQ(lib.get(h, kVendor, 0x62), Bytes{0x04});
    EXPECT_EQ(lib.get(h, kVendor, 0x60), Bytes{0x07});
    EXPECT_EQ(lib.get(h, kVendor, 0x61), (Bytes{0x02, 0x00}));
    EXPECT_EQ(lib.get(h, kVendor, 0x67), Bytes{0x09});
    EXPECT_EQ(lib.get(h, 0x84, 0xFD), bytes("Varnel Power"));

    // Writes land in the unit: a 16-bit count, and a table entry reached through its index.
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x61, 300), 0);
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x63, 19), 0);
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x64, 0xC8), 0);
    EXPECT_EQ(ups->values().externalBatteryCount, 300);
    EXPECT_EQ(ups->values().batteryTable[19], 0xC8);
    EXPECT_EQ(lib.get(h, kVendor, 0x64), Bytes{0xC8});

    // A unit that refuses the write makes it fail.
    ups->setFault(FaultMode::Reject);
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x67, 1), 0);
    EXPECT_EQ(ups->values().cTableHighB, 9);

    // The serial calls have nothing to do here.
    uint8_t buffer[16];
    EXPECT_EQ(lib.read(h, buffer, sizeof buffer, 10), 0u);
    EXPECT_NE(lib.close(h), 0);
    EXPECT_EQ(lib.close(h), 0);
    EXPECT_TRUE(lib.get(h, kVendor, 0x68).empty());
}

TEST_F(LinkHidTest, FieldsOfAnyLayoutAreReadAndWrittenInPlace)
{
    // A layout of several fields a report, padding and a 4-bit field, which upssim's UPS does not have.
    RawHidDevice layout{varnel::test::upsDescriptor(), {}};
    layout.reports = {
        {1, {0x02, 0x01}},
        {2, {0x64, 0x10, 0x0E}},
        // configuration word 0x0103, internal 4 of type 7, external 2, high B 9 above padding 0xA
        {3, {0x03, 0x01, 0x04, 0x07, 0x02, 0x00, 0x9A}},
        {4, {0x00, 0x11, 0x00, 0x22, 0x33}},
        {6, {0x01, 0x02, 0x03, 0x04, 0x05}}};
    HidSimServer server(socketPath("layout"), std::ref(layout));
    auto report = [&](uint8_t id) { return server.locked([&] { return layout.reports[id]; }); };
    uint32_t h = openUnit("layout");
    ASSERT_NE(h, 0u) << lib.failure();

    EXPECT_EQ(lib.get(h, kVendor, 0x68), (Bytes{0x03, 0x01}));
    EXPECT_EQ(lib.get(h, kVendor, 0x60), Bytes{0x07});
    EXPECT_EQ(lib.get(h, kVendor, 0x61), (Bytes{0x02, 0x00}));
    EXPECT_EQ(lib.get(h, kVendor, 0x67), Bytes{0x09});
    EXPECT_EQ(lib.get(h, kVendor, 0x64), Bytes{0x11});
    EXPECT_EQ(lib.get(h, 0x85, 0x68), (Bytes{0x10, 0x0E}));

    // A write changes only its own bits and leaves the report's other fields as the unit holds them.
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x61, 300), 0);
    EXPECT_EQ(lib.get(h, kVendor, 0x61), (Bytes{0x2C, 0x01}));
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x67, 5), 0);
    EXPECT_EQ(report(3), (Bytes{0x03, 0x01, 0x04, 0x07, 0x2C, 0x01, 0x5A}));
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x63, 19), 0);
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x64, 0xC8), 0);
    EXPECT_EQ(report(4), (Bytes{19, 0xC8, 0x00, 0x22, 0x33}));

    // A value the field cannot hold is refused and nothing is sent.
    const int setsBefore = server.setRequests();
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x67, 16), 0);
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x64, 256), 0);
    EXPECT_EQ(server.setRequests(), setsBefore);
    EXPECT_EQ(report(3)[6], 0x5A);

    // Missing usages: not in the descriptor, only in an input report, or on a page that cannot exist.
    EXPECT_TRUE(lib.get(h, kVendor, 0x99).empty());
    EXPECT_TRUE(lib.get(h, 0x84, 0x30).empty());
    EXPECT_TRUE(lib.get(h, 0x10000 | kVendor, 0x68).empty());
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x99, 1), 0);
    EXPECT_NE(lib.isHid(h, 0, 0, kVendor, 0x68), 0u);
    EXPECT_NE(lib.isHid(h, 0, 0, 0x84, 0xFE), 0u);
    EXPECT_EQ(lib.isHid(h, 0, 0, kVendor, 0x99), 0u);
    EXPECT_NE(lib.close(h), 0);

    // A device without report ids uses report 0.
    RawHidDevice single{{0x05, 0x84, 0x09, 0x04, 0xA1, 0x01, 0x06, 0xFF, 0xFF, 0x09, 0x68, 0x75,
                         0x10, 0x95, 0x01, 0xB1, 0x02, 0x09, 0x62, 0x75, 0x08, 0xB1, 0x02, 0xC0},
                        {{0, {0x01, 0x00, 0x03}}}};
    HidSimServer singleServer(socketPath("single"), std::ref(single));
    h = openUnit("single");
    ASSERT_NE(h, 0u) << lib.failure();
    EXPECT_EQ(lib.get(h, kVendor, 0x68), (Bytes{0x01, 0x00}));
    EXPECT_NE(lib.setHid(h, 0, 0, kVendor, 0x62, 8), 0);
    EXPECT_EQ(singleServer.locked([&] { return single.reports[0]; }), (Bytes{0x01, 0x00, 0x08}));
    lib.close(h);
}

TEST_F(LinkHidTest, AUnitThatHangsUpOrTalksGarbageFailsCleanlyAndStaysFailed)
{
    for (HidSimServer::Fault fault :
         {HidSimServer::Fault::HangUp, HidSimServer::Fault::HugeLength, HidSimServer::Fault::WrongOpcode}) {
        ups->server.setFault(HidSimServer::Fault::None);
        uint32_t h = openUnit();
        ASSERT_NE(h, 0u) << lib.failure();
        ASSERT_EQ(lib.get(h, kVendor, 0x62), Bytes{0x04});
        ups->server.setFault(fault);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(lib.get(h, kVendor, 0x62).empty()) << static_cast<int>(fault);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        // Once broken the connection is not trusted again, even when the unit recovers.
        ups->server.setFault(HidSimServer::Fault::None);
        EXPECT_TRUE(lib.get(h, kVendor, 0x62).empty());
        EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x67, 1), 0);
        EXPECT_EQ(ups->values().cTableHighB, 9);
        EXPECT_NE(lib.close(h), 0);
    }

    // A report cut short is not read past its end, and no write is built from it.
    uint32_t h = openUnit();
    ASSERT_NE(h, 0u);
    ups->setFault(FaultMode::Truncate);
    EXPECT_EQ(lib.get(h, kVendor, 0x68), (Bytes{0x03, 0x01})); // the start of the report still arrives
    EXPECT_TRUE(lib.get(h, kVendor, 0x60).empty());
    const int setsBefore = ups->server.setRequests();
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x61, 3), 0);
    EXPECT_EQ(ups->server.setRequests(), setsBefore);
    EXPECT_EQ(ups->values().externalBatteryCount, 2);
    EXPECT_NE(lib.close(h), 0);
}

TEST_F(LinkHidTest, AUnitThatNeverAnswersCostsOneBoundedWait)
{
    uint32_t h = openUnit();
    ASSERT_NE(h, 0u);
    ups->setFault(FaultMode::Silent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(lib.get(h, kVendor, 0x62).empty());
    EXPECT_EQ(lib.setHid(h, 0, 0, kVendor, 0x67, 1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(lib.close(h), 0);
}

TEST_F(LinkHidTest, OpenFailuresSayWhy)
{
    std::string missing = socketPath("nobody-listens");
    PortDescriptor port = descriptorFor(missing);
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_NE(lib.failure().find("upssim"), std::string::npos) << lib.failure();

    HidSimServer keyboard(socketPath("keyboard"), RawHidDevice{varnel::test::keyboardDescriptor()});
    std::string keyboardPath = socketPath("keyboard");
    port = descriptorFor(keyboardPath);
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_NE(lib.failure().find("not a UPS"), std::string::npos) << lib.failure();

    std::vector<uint8_t> cut = varnel::test::upsDescriptor();
    cut.resize(50);
    HidSimServer broken(socketPath("broken"), RawHidDevice{cut});
    std::string brokenPath = socketPath("broken");
    port = descriptorFor(brokenPath);
    EXPECT_EQ(lib.open(&port), 0u);
    EXPECT_NE(lib.failure().find("malformed"), std::string::npos) << lib.failure();

    const std::string upsPath = socketPath("ups");
    PortDescriptor foreign = descriptorFor(upsPath);
    foreign.size = 60;
    EXPECT_EQ(lib.open(&foreign), 0u);
    EXPECT_EQ(lib.open(nullptr), 0u);
    EXPECT_FALSE(lib.failure().empty());

    // A successful open clears the previous reason; another thread's failure is its own.
    uint32_t h = openUnit();
    ASSERT_NE(h, 0u);
    EXPECT_EQ(lib.openFailureReason(), nullptr);
    std::string otherThread;
    std::thread([&] {
        PortDescriptor gone = descriptorFor(missing);
        EXPECT_EQ(lib.open(&gone), 0u);
        otherThread = lib.failure();
    }).join();
    EXPECT_FALSE(otherThread.empty());
    EXPECT_EQ(lib.openFailureReason(), nullptr);
    lib.close(h);
}

} // namespace
