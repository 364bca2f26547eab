#include "platform/ble/bluez/BluezMessages.h"

#include <limits>

namespace platform::ble::bluez {

namespace {

std::int64_t clampToInt64(std::uint64_t value) {
  constexpr auto top = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  return static_cast<std::int64_t>(value > top ? top : value);
}

}  // namespace

BluezValue toValue(const sdbus::Variant& variant) {
  const std::string type = variant.peekValueType();
  if (type == "b") return variant.get<bool>();
  if (type == "y") return std::int64_t{variant.get<std::uint8_t>()};
  if (type == "n") return std::int64_t{variant.get<std::int16_t>()};
  if (type == "q") return std::int64_t{variant.get<std::uint16_t>()};
  if (type == "i") return std::int64_t{variant.get<std::int32_t>()};
  if (type == "u") return std::int64_t{variant.get<std::uint32_t>()};
  if (type == "x") return variant.get<std::int64_t>();
  if (type == "t") return clampToInt64(variant.get<std::uint64_t>());
  if (type == "s") return variant.get<std::string>();
  if (type == "o") return std::string(variant.get<sdbus::ObjectPath>());
  if (type == "ay") return variant.get<std::vector<std::uint8_t>>();
  if (type == "as") return variant.get<std::vector<std::string>>();
  if (type == "ao") {
    std::vector<std::string> paths;
    for (auto& path : variant.get<std::vector<sdbus::ObjectPath>>()) paths.emplace_back(std::move(path));
    return paths;
  }
  return std::monostate{};
}

BluezProperties toProperties(const SdProperties& properties) {
  BluezProperties out;
  for (const auto& [name, value] : properties) out.emplace(name, toValue(value));
  return out;
}

BluezInterfaces toInterfaces(const SdInterfaces& interfaces) {
  BluezInterfaces out;
  for (const auto& [name, properties] : interfaces) out.emplace(name, toProperties(properties));
  return out;
}

BluezBus::Reply readReply(sdbus::MethodReply& reply, const sdbus::Error* error, BluezBus::Call::Expect expect,
                        const std::string& method) {
  BluezBus::Reply out;
  if (error) {
    out.errorName = error->getName();
    out.errorMessage = error->getMessage();
    return out;
  }
  try {
    if (expect == BluezBus::Call::Expect::bytes) {
      Bytes bytes;
      reply >> bytes;
      // ATT's limit on an attribute value: a longer one is no peripheral's.
      if (bytes.size() > kMaxValueBytes) {
        out.errorName = "org.lumo.Error.ValueTooLong";
        out.errorMessage = "a value of " + std::to_string(bytes.size()) + " bytes from " + method + " (at most " +
                           std::to_string(kMaxValueBytes) + ")";
        return out;
      }
      out.bytes = std::move(bytes);
    } else if (expect == BluezBus::Call::Expect::acquiredWrite) {
      sdbus::UnixFd fd;  // closed when it goes: only the MTU is of use here
      std::uint16_t mtu = 0;
      reply >> fd >> mtu;
      out.mtu = mtu;
    } else if (expect == BluezBus::Call::Expect::objects) {
      std::map<sdbus::ObjectPath, SdInterfaces> objects;
      reply >> objects;
      for (const auto& [path, interfaces] : objects) out.objects.emplace(path, toInterfaces(interfaces));
    }
  } catch (const sdbus::Error&) {
    out.errorName = "org.lumo.Error.MalformedReply";
    out.errorMessage = "malformed reply to " + method;
  }
  return out;
}

}  // namespace platform::ble::bluez
