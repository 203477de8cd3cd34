#pragma once

namespace varnel {

// Scoped start of the socket library: Winsock needs it, POSIX does not.
class networkSetup {
public:
    networkSetup();
    ~networkSetup();
    networkSetup(const networkSetup&) = delete;
    networkSetup& operator=(const networkSetup&) = delete;
};

} // namespace varnel
