#include "platform/networkSetup.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace varnel {

networkSetup::networkSetup()
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(0x0202, &data); // a failure shows up at the first socket call
#endif
}

networkSetup::~networkSetup()
{
#ifdef _WIN32
    WSACleanup();
#endif
}

} // namespace varnel
