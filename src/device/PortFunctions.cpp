#include "device/PortFunctions.h"

namespace varnel {

namespace {

template <typename Fn> void resolve(const DynamicLibrary& library, const char* name, Fn& function)
{
    function = reinterpret_cast<Fn>(library.symbol(name));
}

} // namespace

PortFunctions resolvePortFunctions(const DynamicLibrary& library)
{
    PortFunctions functions;
    resolve(library, "PortOpen", functions.open);
    resolve(library, "PortRead", functions.read);
    resolve(library, "PortWrite", functions.write);
    resolve(library, "PortClose", functions.close);
    resolve(library, "PortSet", functions.set);
    resolve(library, "PortGetPin", functions.getPin);
    resolve(library, "PortSetPin", functions.setPin);
    resolve(library, "PortGetHid", functions.getHid);
    resolve(library, "PortSetHid", functions.setHid);
    resolve(library, "PortIsHid", functions.isHid);
    resolve(library, "PortEnumerate", functions.enumerate);
    resolve(library, "PortOpenFailureReason", functions.openFailureReason);
    return functions;
}

} // namespace varnel
