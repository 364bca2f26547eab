#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>

#include "lumosdk/LumoExport.h"

namespace platform::ui {
class Image;
}

namespace lumo {

/// Loads the SDK's images from its own resource bundle for the pages. A bundle is a folder:
/// its "resources" subfolder holds plain files, and the folder itself (then its "Images"
/// subfolder) is its image catalogue. The SDK's bundle is the folder that ships its
/// "resources", found from where liblumosdk is loaded (installed: the package's data folder;
/// in the build tree: the library's own folder); a class registered with registerBundle lives in that bundle, any other class
/// in the application's main bundle. Thread-safe.
class LUMO_EXPORT ResourceUtil {
 public:
  /// The file "resources/<named>" of the class's bundle (the SDK's without a class) when it
  /// can be read, decoded from its bytes; otherwise the catalogue's image of that name.
  /// None when neither exists, when the file is not an image, or for a name that leaves the
  /// bundle.
  static std::shared_ptr<platform::ui::Image> loadResourceImage(const std::string& named,
                                                                std::optional<std::type_index> forClass = std::nullopt);
  /// As loadResourceImage, for the bundle of the class `T`.
  template <class T>
  static std::shared_ptr<platform::ui::Image> loadResourceImage(const std::string& named) {
    return loadResourceImage(named, std::type_index(typeid(T)));
  }

  /// Makes `bundleDirectory` the bundle of the class `forClass` (a host's own pages, say).
  static void registerBundle(std::type_index forClass, std::filesystem::path bundleDirectory);
  /// The folder of the class's bundle, or the SDK's own without a class.
  static std::filesystem::path bundleDirectory(std::optional<std::type_index> forClass = std::nullopt);
  /// Forgets every registered bundle (tests).
  static void resetForTesting();

  /// Never instantiated.
  ResourceUtil() = delete;
};

}  // namespace lumo
