#include "UpsDescriptorCheck.h"

#include "HidReportDescriptor.h"

#include "hidusages.h"

namespace varnel {

namespace {
constexpr std::uint32_t kFirstVendorPage = 0xFF00;
} // namespace

bool isUpsDescriptor(const std::uint8_t* data, std::size_t size)
{
    linkhid::HidReportDescriptor descriptor;
    if (!descriptor.parse(data, size))
        return false;
    bool ups = false;
    for (const std::uint32_t page : descriptor.topLevelPages()) {
        if (page == HID_PAGE_POWER_DEVICE || page == HID_PAGE_BATTERY_SYSTEM)
            ups = true;
        else if (page < kFirstVendorPage)
            return false;
    }
    return ups;
}

} // namespace varnel
