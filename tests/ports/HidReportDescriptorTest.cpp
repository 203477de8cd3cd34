#include "HidReportDescriptor.h"
#include "HidFieldValue.h"
#include "ports/UpsDescriptor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

using linkhid::HidField;
using linkhid::HidReportDescriptor;

namespace {

constexpr uint32_t kVendor = 0xFFFF;

void expectField(const HidReportDescriptor& layout, uint32_t page, uint32_t usage, uint8_t reportId,
                 uint32_t bitOffset, uint32_t bitSize)
{
    const HidField* field = layout.featureField(page, usage);
    ASSERT_NE(field, nullptr) << std::hex << page << ":" << usage;
    EXPECT_EQ(field->reportId, reportId) << std::hex << page << ":" << usage;
    EXPECT_EQ(field->bitOffset, bitOffset) << std::hex << page << ":" << usage;
    EXPECT_EQ(field->bitSize, bitSize) << std::hex << page << ":" << usage;
}

bool parses(std::vector<uint8_t> bytes)
{
    HidReportDescriptor layout;
    return layout.parse(bytes.data(), bytes.size());
}

// Every mapped field must lie inside its report, whatever the descriptor said.
void expectFieldsInsideReports(const HidReportDescriptor& layout)
{
    for (const auto& [usage, field] : layout.allFields()) {
        ASSERT_GT(field.bitSize, 0u);
        ASSERT_LE(field.bitSize, HidReportDescriptor::kMaxFieldBits);
        ASSERT_LE(uint64_t{field.bitOffset} + field.bitSize,
                  uint64_t{layout.featureReportBytes(field.reportId)} * 8)
            << std::hex << usage;
    }
}

TEST(HidReportDescriptor, MapsThePowerDeviceLayout)
{
    const std::vector<uint8_t> bytes = varnel::test::upsDescriptor();
    HidReportDescriptor layout;
    ASSERT_TRUE(layout.parse(bytes.data(), bytes.size())) << layout.error();
    EXPECT_TRUE(layout.isPowerDevice());

    expectField(layout, 0x84, 0xFE, 1, 0, 8);
    expectField(layout, 0x84, 0xFD, 1, 8, 8);
    // Same usage ids on different pages are different fields.
    expectField(layout, 0x85, 0x66, 2, 0, 8);
    expectField(layout, 0x85, 0x68, 2, 8, 16);
    expectField(layout, kVendor, 0x68, 3, 0, 16);
    expectField(layout, kVendor, 0x62, 3, 16, 8);
    expectField(layout, kVendor, 0x60, 3, 24, 8);
    expectField(layout, kVendor, 0x61, 3, 32, 16);
    expectField(layout, kVendor, 0x67, 3, 52, 4); // after 4 bits of padding
    expectField(layout, kVendor, 0x63, 4, 0, 8);
    expectField(layout, kVendor, 0x66, 4, 24, 8);
    // A range over more fields than usages: the spare field repeats the last usage.
    expectField(layout, kVendor, 0x70, 6, 0, 8);
    expectField(layout, kVendor, 0x72, 6, 16, 8);
    expectField(layout, 0x84, 0x40, 6, 32, 8);
    // Pop restored report 4 and its 8-bit size.
    expectField(layout, kVendor, 0x69, 4, 32, 8);

    EXPECT_EQ(layout.featureReportBytes(1), 2u);
    EXPECT_EQ(layout.featureReportBytes(3), 7u);
    EXPECT_EQ(layout.featureReportBytes(4), 5u);
    EXPECT_EQ(layout.featureReportBytes(6), 5u);
    EXPECT_EQ(layout.featureReportBytes(5), 0u);
    EXPECT_EQ(layout.featureField(0x84, 0x30), nullptr) << "input reports are not reachable";
    EXPECT_EQ(layout.featureField(kVendor, 0x73), nullptr);
    EXPECT_EQ(layout.featureField(0x1FFFF, 0x68), nullptr);
}

TEST(HidReportDescriptor, TellsPowerDevicesFromOtherHidDevices)
{
    const std::vector<uint8_t> keyboard = varnel::test::keyboardDescriptor();
    HidReportDescriptor layout;
    ASSERT_TRUE(layout.parse(keyboard.data(), keyboard.size()));
    // A power-page feature inside a keyboard's application does not make it a UPS.
    EXPECT_FALSE(layout.isPowerDevice());
    EXPECT_NE(layout.featureField(0x84, 0x30), nullptr);

    // The Battery System page counts as well.
    EXPECT_TRUE(layout.parse(std::vector<uint8_t>{0x05, 0x85, 0x09, 0x01, 0xA1, 0x01, 0xC0}.data(), 7));
    EXPECT_TRUE(layout.isPowerDevice());
    // A re-parse forgets the previous device.
    const uint8_t plain[] = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0xC0};
    ASSERT_TRUE(layout.parse(plain, sizeof plain));
    EXPECT_FALSE(layout.isPowerDevice());
}

TEST(HidReportDescriptor, RejectsDescriptorsThatCannotBeTrusted)
{
    const std::vector<uint8_t> ups = varnel::test::upsDescriptor();
    // Cut inside the two-byte data of a 16-bit usage page item.
    std::vector<uint8_t> cut(ups.begin(), ups.begin() + 50);
    EXPECT_FALSE(parses(cut));
    HidReportDescriptor layout;
    EXPECT_FALSE(layout.parse(cut.data(), cut.size()));
    EXPECT_NE(layout.error().find("past the end"), std::string::npos) << layout.error();
    EXPECT_EQ(layout.featureField(kVendor, 0x68), nullptr) << "nothing of a rejected descriptor is kept";
    EXPECT_FALSE(layout.isPowerDevice());

    EXPECT_FALSE(layout.parse(nullptr, 0));
    EXPECT_FALSE(parses({0x85, 0x00}));                   // report id 0
    EXPECT_FALSE(parses({0x86, 0x00, 0x01}));             // report id 256
    EXPECT_FALSE(parses({0xB4}));                         // pop without push
    EXPECT_FALSE(parses({0xC0}));                         // end without collection
    EXPECT_FALSE(parses({0x29, 0x05}));                   // maximum without minimum
    EXPECT_FALSE(parses({0x19, 0x05, 0x29, 0x04}));       // range running backwards
    EXPECT_FALSE(parses({0xFE, 0x10, 0x00, 0x01, 0x02})); // long item cut short
    EXPECT_FALSE(parses(std::vector<uint8_t>(17, 0xA4))); // pushes without end
    std::vector<uint8_t> nested;
    for (int i = 0; i < 65; ++i)
        nested.insert(nested.end(), {0xA1, 0x00});
    EXPECT_FALSE(parses(nested));
    std::vector<uint8_t> manyUsages;
    for (int i = 0; i < 1100; ++i)
        manyUsages.insert(manyUsages.end(), {0x09, 0x01});
    EXPECT_FALSE(parses(manyUsages));
    EXPECT_FALSE(parses(std::vector<uint8_t>(4097, 0x00)));

    // Long items and reserved items are skipped, and unclosed collections tolerated.
    EXPECT_TRUE(parses({0xFE, 0x02, 0x00, 0xAA, 0xBB, 0x0C, 0x05, 0x84, 0x09, 0x04, 0xA1, 0x01}));
}

TEST(HidReportDescriptor, HugeCountsAndSizesStayBounded)
{
    // A field too wide to return, then four billion 1-bit fields over a 64k usage range.
    const std::vector<uint8_t> bytes = {
        0x05, 0x84, 0x09, 0x04, 0xA1, 0x01, 0x05, 0x85, 0x85, 0x08,             //
        0x09, 0x10, 0x77, 0x00, 0x10, 0x00, 0x00, 0x95, 0x01, 0xB1, 0x02,       // 4096-bit field
        0x09, 0x11, 0x75, 0x08, 0xB1, 0x02,                                     // still mapped after it
        0x06, 0xFF, 0xFF, 0x85, 0x07,                                           //
        0x1B, 0x00, 0x00, 0xFF, 0xFF, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF,             // usages 0xFFFF:0000..FFFF
        0x77, 0x01, 0x00, 0x00, 0x00, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02, // size 1, count 0xFFFFFFFF
        0xC0};
    HidReportDescriptor layout;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(layout.parse(bytes.data(), bytes.size())) << layout.error();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LE(layout.fieldCount(), HidReportDescriptor::kMaxFields);
    EXPECT_EQ(layout.featureReportBytes(7), HidReportDescriptor::kMaxReportBytes);
    EXPECT_EQ(layout.featureField(0x85, 0x10), nullptr);
    expectField(layout, 0x85, 0x11, 8, 4096, 8);
    expectFieldsInsideReports(layout);
}

TEST(HidReportDescriptor, RandomBytesNeverMapAFieldOutsideItsReport)
{
    std::mt19937 random(20261208);
    const std::vector<uint8_t> ups = varnel::test::upsDescriptor();
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = ups;
        // Mutate a real descriptor so that most rounds get deep into the parser.
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        bytes.resize(random() % (bytes.size() + 1));
        HidReportDescriptor layout;
        if (!layout.parse(bytes.data(), bytes.size())) {
            EXPECT_FALSE(layout.error().empty());
            continue;
        }
        expectFieldsInsideReports(layout);
    }
}

TEST(HidFieldValue, ReadsAndWritesUnalignedFieldsWithoutTouchingNeighbours)
{
    uint8_t report[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const HidField field{3, 5, 12}; // bits 5..16
    ASSERT_TRUE(linkhid::writeField(field, report, sizeof report, 0x3BC));
    EXPECT_EQ(report[0], 0x9F); // bits 0..4 kept
    EXPECT_EQ(report[1], 0x77);
    EXPECT_EQ(report[2], 0xFE); // the field's top bit cleared, the rest kept
    EXPECT_EQ(report[3], 0xFF);
    uint8_t out[4] = {};
    ASSERT_EQ(linkhid::readField(field, report, sizeof report, out, sizeof out), 2u);
    EXPECT_EQ(out[0], 0xBC);
    EXPECT_EQ(out[1], 0x03);

    // A value wider than the field would be stored as a different number.
    const HidField nibble{3, 4, 4};
    EXPECT_FALSE(linkhid::writeField(nibble, report, sizeof report, 16));
    EXPECT_TRUE(linkhid::writeField(nibble, report, sizeof report, 15));
    // A field reaching past the data is neither read nor written.
    const HidField outside{3, 28, 8};
    EXPECT_EQ(linkhid::readField(outside, report, sizeof report, out, sizeof out), 0u);
    EXPECT_FALSE(linkhid::writeField(outside, report, sizeof report, 1));
    EXPECT_EQ(report[3], 0xFF);
    // Nor read into a buffer too small for it.
    const HidField wide{3, 0, 32};
    EXPECT_EQ(linkhid::readField(wide, report, sizeof report, out, 3), 0u);
    EXPECT_TRUE(linkhid::writeField(wide, report, sizeof report, 0xFFFFFFFFu));
}

} // namespace
