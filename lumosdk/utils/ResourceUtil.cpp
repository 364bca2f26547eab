#include "lumosdk/utils/ResourceUtil.h"

#include <dlfcn.h>

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

// The folder of the loaded liblumosdk (found through the address of this very function).
std::optional<fs::path> libraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&libraryDirectory), &info) == 0 || info.dli_fname == nullptr) {
    return std::nullopt;
  }
  std::error_code error;
  fs::path library = fs::absolute(info.dli_fname, error);
  if (error) return std::nullopt;
  return library.parent_path();
}

// Installed, the resources lie in the data folder reached from the library's folder; in
// the build tree, beside the library. Never in the source tree: an installed SDK must not
// depend on where it was built.
fs::path sdkBundle() {
  static const fs::path bundle = [] {
    auto library = libraryDirectory();
    if (!library) return fs::path();
    fs::path installed = (*library / LUMO_RESOURCE_RELATIVE_DIR).lexically_normal();
    std::error_code error;
    if (fs::is_directory(installed / "resources", error)) return installed;
    if (fs::is_directory(*library / "resources", error)) return *library;
    return installed;
  }();
  return bundle;
}

}  // namespace

fs::path ResourceUtil::bundleDirectory(std::optional<std::type_index> forClass) {
  if (!forClass) return sdkBundle();
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
