#pragma once

#include <windows.h>

// MinGW's HID headers do not declare their functions extern "C" themselves.
extern "C" {
#include <hidsdi.h>
}

#include <utility>

namespace linkhid {

// Owns the report layout HidD_GetPreparsedData hands out for one device.
class PreparsedData {
public:
    PreparsedData() = default;
    ~PreparsedData() { reset(); }
    PreparsedData(PreparsedData&& other) noexcept : data(std::exchange(other.data, nullptr)) {}
    PreparsedData& operator=(PreparsedData&& other) noexcept
    {
        if (this != &other) {
            reset();
            data = std::exchange(other.data, nullptr);
        }
        return *this;
    }
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;

    // False if the device gives none (it is then no HID device we can use).
    bool load(HANDLE device)
    {
        reset();
        PHIDP_PREPARSED_DATA loaded = nullptr;
        if (!HidD_GetPreparsedData(device, &loaded))
            return false;
        data = loaded;
        return true;
    }
    PHIDP_PREPARSED_DATA get() const { return data; }
    void reset()
    {
        if (data)
            HidD_FreePreparsedData(data);
        data = nullptr;
    }

private:
    PHIDP_PREPARSED_DATA data = nullptr;
};

} // namespace linkhid
