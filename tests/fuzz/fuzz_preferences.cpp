// The preferences file as the next launch finds it: a file that parses is taken as it
// stands and left untouched, a damaged one is set aside byte for byte and never overwritten,
// and values set afterwards read back the same now and after a reload.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/foundation/UserDefaults.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

namespace fs = std::filesystem;
using lumo::fuzz::require;
using nlohmann::json;
using platform::foundation::UserDefaults;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

// Whether every key and string is UTF-8 (the strict writer refuses anything else).
bool holdsOnlyUtf8(const json& value) {
  try {
    (void)value.dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

bool holdsOnlyFiniteNumbers(const json& value) {
  if (value.is_number_float()) return std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& item : value) {
      if (!holdsOnlyFiniteNumbers(item)) return false;
    }
  }
  return true;
}

json consumeValue(FuzzedDataProvider& input, int depth = 0) {
  switch (input.ConsumeIntegralInRange(0, depth < 2 ? 7 : 5)) {
    case 0: return input.ConsumeBool();
    case 1: return input.ConsumeIntegral<std::int64_t>();
    case 2: return input.ConsumeIntegral<std::uint64_t>();
    case 3: return input.ConsumeFloatingPoint<double>();
    case 4: return input.ConsumeRandomLengthString(32);
    case 5: {
      // What the file cannot hold: the preferences must refuse it, not keep it in memory only.
      const double kNotFinite[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
      return kNotFinite[input.ConsumeIntegralInRange(0, 2)];
    }
    case 6: {
      json array = json::array();
      for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) array.push_back(consumeValue(input, depth + 1));
      return array;
    }
    default: {
      json object = json::object();
      for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        object[input.ConsumeRandomLengthString(8)] = consumeValue(input, depth + 1);
      }
      return object;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path folder = lumo::fuzz::quietSandbox() / "preferences";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path file = folder / "com.example.host.json";
  const fs::path aside = folder / "com.example.host.json.damaged-1";

  FuzzedDataProvider input(data, size);
  bool fileExists = input.ConsumeBool();
  std::string contents = input.ConsumeRandomLengthString(2048);
  if (fileExists) writeFile(file, contents);

  json model = json::object();
  {
    UserDefaults preferences(file);
    json parsed = json::parse(contents, nullptr, false);
    if (!fileExists) {
      require(preferences.dictionaryRepresentation().empty(), "no file starts empty");
      require(!fs::exists(file), "reading creates no file");
    } else if (parsed.is_object()) {
      model = parsed;
      require(preferences.dictionaryRepresentation() == parsed, "a good file is read as it stands");
      require(readFile(file) == contents, "reading leaves a good file untouched");
    } else {
      require(preferences.dictionaryRepresentation().empty(), "a damaged file starts empty");
      require(fs::exists(aside) && readFile(aside) == contents, "a damaged file is set aside byte for byte");
      require(!fs::exists(file), "nothing is written before a change");
    }

    // Changes: each reads back at once.
    while (input.remaining_bytes() > 0) {
      std::string key = input.ConsumeRandomLengthString(12);
      if (input.ConsumeIntegralInRange(0, 4) == 0) {
        preferences.removeObject(key);
        model.erase(key);
        require(!preferences.object(key), "a removed key is gone");
        continue;
      }
      json value = consumeValue(input);
      if (!holdsOnlyFiniteNumbers(value)) {
        auto before = preferences.object(key);
        preferences.set(value, key);
        require(preferences.object(key) == before, "a number the file cannot hold is refused");
        continue;
      }
      preferences.set(value, key);
      model[key] = value;
      require(preferences.object(key) == value, "a value reads back as set");
    }
    require(preferences.dictionaryRepresentation() == model, "the preferences hold every change");
    if (fileExists && !parsed.is_object()) {
      require(readFile(aside) == contents, "the set-aside copy is never overwritten");
    }
  }

  // The next launch reads what was written.
  UserDefaults reloaded(file);
  if (holdsOnlyUtf8(model)) {
    require(reloaded.dictionaryRepresentation() == model, "a reload reads back every value written");
  } else {
    require(holdsOnlyUtf8(reloaded.dictionaryRepresentation()), "text that was not UTF-8 reloads as UTF-8");
  }
  return 0;
}
