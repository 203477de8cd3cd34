#pragma once

#include "device/VarnelDevice.h"
#include "settings/StatusCallback.h"

#include <linkport.h>

#include <memory>

namespace varnel {

class CAnyPort;
class I18N;

// Finds out which protocol the unit on an open port speaks and returns its
// loaded record, or null when no protocol class accepts the unit.
std::unique_ptr<VarnelDevice> createDevice(CAnyPort& port, const PortDescriptor& descriptor,
                                           const StatusCallback& callback, const I18N* messages);

} // namespace varnel
