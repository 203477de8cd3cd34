#include "ctl/VarnelCtl.h"

#include <iostream>

int main(int argc, char** argv)
{
    varnel::VarnelCtl ctl(std::cout, std::cerr);
    return ctl.run(argc, argv);
}
