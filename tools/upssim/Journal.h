#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace varnel::upssim {

// One JSON object a line for every request a unit receives and every value
// written into it, flushed at once so a reader can follow the run live.
class Journal {
public:
    using Clock = std::function<double()>; // milliseconds since the simulator started

    Journal(std::ostream& out, Clock clock);

    // `what` names the request ("read 136", "P CFI", "get 0x64"); `answered`
    // is false when the unit sent nothing back.
    void request(const std::string& unit, const char* protocol, const std::string& what,
                 const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply, bool answered,
                 const char* fault);
    // `index` < 0 for a value that is not a table entry; `stored` is what the
    // unit holds afterwards (differs from `value` under a fault).
    void write(const std::string& unit, const char* field, int index, uint32_t value, uint32_t stored);

private:
    std::ostream& out;
    Clock clock;
};

} // namespace varnel::upssim
