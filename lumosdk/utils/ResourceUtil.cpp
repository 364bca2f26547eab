#include "lumosdk/utils/ResourceUtil.h"

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "platform/foundation/BundleInfo.h"
#include "platform/ui/Image.h"

namespace lumo {

namespace fs = std::filesystem;
using platform::ui::Image;

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::type_index, fs::path> bundles;
};

Registry& registry() {
  static Registry shared;
  return shared;
}

// Names come from callers: keep them inside the bundle.
bool staysInBundle(const std::string& name) {
  if (name.empty()) return false;
  fs::path path(name);
  if (path.is_absolute() || path.has_root_name()) return false;
  for (const auto& part : path) {
    if (part == "..") return false;
  }
  return true;
}

std::optional<platform::Bytes> readFile(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  platform::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

fs::path ResourceUtil::bundleDirectory(std::optional<std::type_index> forClass) {
  if (!forClass) return fs::path(LUMO_RESOURCE_DIR).parent_path();
  {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    auto found = shared.bundles.find(*forClass);
    if (found != shared.bundles.end()) return found->second;
  }
  return platform::foundation::BundleInfo::main().resourceDirectory();
}

std::shared_ptr<Image> ResourceUtil::loadResourceImage(const std::string& named,
                                                       std::optional<std::type_index> forClass) {
  if (!staysInBundle(named)) return nullptr;
  fs::path bundle = bundleDirectory(forClass);
  fs::path resources = bundle / "resources";
  std::error_code error;
  if (fs::is_directory(resources, error)) {
    // A readable file decides the answer, even when its bytes are no image.
    if (auto bytes = readFile(resources / named)) return Image::fromData(*bytes);
  }
  if (auto image = Image::named(named, bundle)) return image;
  return Image::named(named, bundle / "Images");
}

void ResourceUtil::registerBundle(std::type_index forClass, fs::path bundleDirectory) {
  auto& shared = registry();
  std::lock_guard lock(shared.mutex);
  shared.bundles.insert_or_assign(forClass, std::move(bundleDirectory));
}

void ResourceUtil::resetForTesting() {
  auto& shared = registry();
  std::lock_guard lock(shared.mutex);
  shared.bundles.clear();
}

}  // namespace lumo
