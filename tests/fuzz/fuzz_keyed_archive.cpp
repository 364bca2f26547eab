// The keyed archive that views and controllers are saved into and created again from: any
// bytes decode without harm, and whatever decoded (or was encoded) survives a save and a
// load unchanged, read through every typed getter.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/foundation/KeyedArchive.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::fuzz::require;
using platform::foundation::KeyedArchive;

// Every typed reading of `key` agrees between the two archives.
void requireSameReadings(const KeyedArchive& a, const KeyedArchive& b, const std::string& key) {
  require(a.containsValue(key) == b.containsValue(key), "a key survives the round trip");
  require(a.boolValue(key) == b.boolValue(key), "bool reads the same");
  require(a.integerValue(key) == b.integerValue(key), "integer reads the same");
  require(a.stringValue(key) == b.stringValue(key), "string reads the same");
  require(a.colorValue(key) == b.colorValue(key), "colour reads the same");
  auto x = a.doubleValue(key), y = b.doubleValue(key);
  require(x.has_value() == y.has_value(), "a number stays a number");
  if (x) require(*x == *y, "double reads the same");
  auto inner = a.archiveValue(key), other = b.archiveValue(key);
  require(inner.has_value() == other.has_value(), "a nested archive stays one");
}

// Saving and loading gives the same archive.
KeyedArchive requireRoundTrip(const KeyedArchive& archive) {
  KeyedArchive loaded = KeyedArchive::fromText(archive.text());
  require(loaded.json() == archive.json(), "an archive loads back as it was saved");
  require(loaded.text() == archive.text(), "saving again gives the same text");
  for (const auto& [key, value] : archive.json().items()) requireSameReadings(archive, loaded, key);
  return loaded;
}

// Whether every key and string is UTF-8 (the strict writer refuses anything else).
bool holdsOnlyUtf8(const nlohmann::json& json) {
  try {
    (void)json.dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumo::fuzz::quietSandbox();
  FuzzedDataProvider input(data, size);

  // Decoding: any text, then the round trip of what it gave.
  std::string text = input.ConsumeRandomLengthString(2048);
  KeyedArchive decoded = KeyedArchive::fromText(text);
  requireRoundTrip(decoded);

  // Encoding: values written by the fuzzer on top of what was decoded read back as written.
  KeyedArchive archive = decoded;
  while (input.remaining_bytes() > 0) {
    std::string key = input.ConsumeRandomLengthString(16);
    switch (input.ConsumeIntegralInRange(0, 5)) {
      case 0: {
        bool value = input.ConsumeBool();
        archive.encodeBool(key, value);
        require(archive.boolValue(key) == value, "a bool reads back");
        break;
      }
      case 1: {
        auto value = input.ConsumeIntegral<std::int64_t>();
        archive.encodeInteger(key, value);
        require(archive.integerValue(key) == value, "an integer reads back");
        break;
      }
      case 2: {
        double value = input.ConsumeFloatingPoint<double>();
        archive.encodeDouble(key, value);
        if (std::isfinite(value)) {
          require(archive.doubleValue(key) == value, "a finite double reads back");
        } else {
          require(!archive.containsValue(key), "a non-finite double is stored as absent");
        }
        break;
      }
      case 3: {
        std::string value = input.ConsumeRandomLengthString(64);
        archive.encodeString(key, value);
        require(archive.stringValue(key) == value, "a string reads back");
        break;
      }
      case 4: {
        KeyedArchive::ColorComponents color{input.ConsumeProbability<double>(), input.ConsumeProbability<double>(),
                                            input.ConsumeProbability<double>(), input.ConsumeProbability<double>()};
        archive.encodeColor(key, color);
        require(archive.colorValue(key) == color, "a colour in range reads back");
        break;
      }
      default: {
        archive.encodeArchive(key, decoded);
        auto nested = archive.archiveValue(key);
        require(nested && nested->json() == decoded.json(), "a nested archive reads back");
        break;
      }
    }
  }
  // Text that is not UTF-8 is replaced when saved; everything else survives exactly.
  if (holdsOnlyUtf8(archive.json())) {
    requireRoundTrip(archive);
  } else {
    require(KeyedArchive::fromText(archive.text()).json().is_object(), "a save with bad text still loads");
  }
  return 0;
}
