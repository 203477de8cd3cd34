#pragma once

#include "UniqueHandle.h"

#include <windows.h>

// MinGW's HID headers do not declare their functions extern "C" themselves.
extern "C" {
#include <hidsdi.h>
}

namespace linkhid {

struct PreparsedDataTraits {
    using Value = PHIDP_PREPARSED_DATA;
    static PHIDP_PREPARSED_DATA invalid() { return nullptr; }
    static void close(PHIDP_PREPARSED_DATA data) { HidD_FreePreparsedData(data); }
};

// Owns the report layout HidD_GetPreparsedData hands out for one device.
class PreparsedData : public linkport::UniqueHandle<PreparsedDataTraits> {
public:
    // False if the device gives none (it is then no HID device we can use).
    bool load(HANDLE device)
    {
        reset();
        PHIDP_PREPARSED_DATA loaded = nullptr;
        if (!HidD_GetPreparsedData(device, &loaded))
            return false;
        reset(loaded);
        return true;
    }
};

} // namespace linkhid
