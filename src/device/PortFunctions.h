#pragma once

#include "platform/DynamicLibrary.h"

#include <linkport.h>

namespace varnel {

// The exports of one port library, resolved by name; a function the library
// lacks stays null. Filled by resolvePortFunctions for a loaded library, or
// by hand for a port whose functions are linked in.
struct PortFunctions {
    PortOpenFn open = nullptr;
    PortReadFn read = nullptr;
    PortWriteFn write = nullptr;
    PortCloseFn close = nullptr;
    PortSetFn set = nullptr;
    PortGetPinFn getPin = nullptr;
    PortSetPinFn setPin = nullptr;
    PortGetHidFn getHid = nullptr;
    PortSetHidFn setHid = nullptr;
    PortIsHidFn isHid = nullptr;
    PortEnumerateFn enumerate = nullptr;
    // The optional twelfth export.
    PortOpenFailureReasonFn openFailureReason = nullptr;

    // A library without these four cannot carry a conversation.
    bool hasCore() const { return open && read && write && close; }
    bool complete() const
    {
        return hasCore() && set && getPin && setPin && getHid && setHid && isHid && enumerate &&
               openFailureReason;
    }
};

// Every export `library` has; all null when it is not loaded.
PortFunctions resolvePortFunctions(const DynamicLibrary& library);

} // namespace varnel
