#pragma once

#include <functional>

namespace varnel {

// Runs one long step (a download, a save, a read-back) and returns its result;
// the wizard keeps its window painting meanwhile, a terminal just runs it.
using StepRunner = std::function<bool(const std::function<bool()>& step)>;

} // namespace varnel
