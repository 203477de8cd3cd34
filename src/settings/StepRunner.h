#pragma once

#include <functional>

namespace varnel {

// Runs one long step of a download (a connection, a transfer) and returns its result;
// the wizard keeps its window painting meanwhile, a terminal just runs it.
using StepRunner = std::function<bool(const std::function<bool()>& step)>;

} // namespace varnel
