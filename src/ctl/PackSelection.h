#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

// "--pack K=Q" as page 4's rows: pack K (from 1, in file order) attached Q
// times (0 to 9, as one row offers); the same pack named twice adds up.
class PackSelection {
public:
    // Adds one "K=Q"; false with a reason when it is not one.
    bool add(const std::string& text, std::size_t packCount, std::string& reason);
    // One quantity per pack, as the computation takes them.
    std::vector<std::uint32_t> quantities(std::size_t packCount) const;
    bool empty() const { return chosen.empty(); }

private:
    struct Choice {
        std::size_t pack;
        std::uint32_t quantity;
    };
    std::vector<Choice> chosen;
};

} // namespace varnel
