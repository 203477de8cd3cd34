#pragma once

#include "HidUsageAccess.h"
#include "OwnedHandle.h"
#include "PreparsedData.h"

#include <windows.h>

// MinGW's HID headers do not declare their functions extern "C" themselves.
extern "C" {
#include <hidsdi.h>
}

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace linkhid {

// One open HID power device on Windows. Windows keeps the report descriptor
// to itself, so usages are found and packed by its own report parser (HidP_*)
// rather than ours; values travel in whole feature reports as on hidraw.
class HidpPort : public HidUsageAccess {
public:
    // Opens a device interface path (\\?\hid#...). Null with `error` set to a
    // Windows error code when it cannot be opened, or with `reason` set when
    // it is no power device or its layout cannot be read.
    static std::unique_ptr<HidpPort> open(const std::string& path, unsigned long& error, std::string& reason);

    bool get(uint32_t usagePage, uint32_t usageId, uint8_t* out, uint32_t& length) override;
    bool set(uint32_t usagePage, uint32_t usageId, uint32_t value) override;
    bool has(uint32_t usagePage, uint32_t usageId) const override;

    const std::string& manufacturer() const override { return manufacturerName; }
    const std::string& product() const override { return productName; }

    // Whether the device's top-level collection is on the Power Device or
    // Battery System page. Needs no access rights on the handle.
    static bool isPowerDevice(HANDLE device);
    // The USB manufacturer and product strings as UTF-8; empty when absent.
    static void readNames(HANDLE device, std::string& manufacturer, std::string& product);

private:
    // Where the system's parser finds one feature value.
    struct Value {
        UCHAR reportId = 0;
        USHORT linkCollection = 0;
        USHORT bitSize = 0;
    };

    HidpPort(linkport::OwnedHandle device, linkport::OwnedHandle lock, PreparsedData layout);
    bool mapValues();
    const Value* valueFor(uint32_t usagePage, uint32_t usageId) const;
    // The whole feature report holding `value`, in a buffer of the report length the parser expects.
    bool readReport(const Value& value, std::vector<char>& report);

    linkport::OwnedHandle device;
    linkport::OwnedHandle lock;
    PreparsedData layout;
    ULONG featureBytes = 0;
    std::map<uint32_t, Value> values; // keyed by usage page << 16 | usage id
    std::string manufacturerName;
    std::string productName;
    std::mutex mutex;
};

} // namespace linkhid
