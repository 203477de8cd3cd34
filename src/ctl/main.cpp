#include "ctl/VarnelCtl.h"
#include "platform/DynamicLibrary.h"

#include <iostream>

int main(int argc, char** argv)
{
    // Before anything loads a library: a DLL left in the current folder is never picked up.
    varnel::DynamicLibrary::restrictSearchPath();
    varnel::VarnelCtl ctl(std::cout, std::cerr);
    return ctl.run(argc, argv);
}
