#include "platform/SocketApi.h"

#include "platform/SystemSocketApi.h"

#include <utility>

namespace varnel {

namespace {
SocketApi*& installed()
{
    static SocketApi* api = nullptr;
    return api;
}
} // namespace

SocketApi& SocketApi::current()
{
    static SystemSocketApi system;
    SocketApi* api = installed();
    return api ? *api : system;
}

SocketApi* SocketApi::install(SocketApi* api)
{
    return std::exchange(installed(), api);
}

} // namespace varnel
