#pragma once

#include <cstddef>
#include <map>
#include <sdbus-c++/sdbus-c++.h>
#include <string>

#include "platform/ble/bluez/BluezBus.h"

namespace platform::ble::bluez {

// Private to the bus thread: what sd-bus messages carry, copied into plain values. Every read
// that can meet the wrong type throws sdbus::Error, which the callers catch.
using SdProperties = std::map<std::string, sdbus::Variant>;
using SdInterfaces = std::map<std::string, SdProperties>;

// ATT's limit on an attribute value; anything longer did not come from a peripheral.
inline constexpr std::size_t kMaxValueBytes = 512;

BluezValue toValue(const sdbus::Variant& variant);
BluezProperties toProperties(const SdProperties& properties);
BluezInterfaces toInterfaces(const SdInterfaces& interfaces);

// A method reply as the main thread receives it; a reply of the wrong shape becomes an error
// ("org.lumo.Error.MalformedReply") instead of a throw.
BluezBus::Reply readReply(sdbus::MethodReply& reply, const sdbus::Error* error, BluezBus::Call::Expect expect,
                          const std::string& method);

}  // namespace platform::ble::bluez
