#include <fstream>

#include "platform/foundation/BundleInfo.h"
#include "platform/render/Bitmap.h"
#include "platform/ui/Image.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using platform::ui::Color;
namespace fs = std::filesystem;

class HostPage {};
class PluginPage {};

class ResourceUtilTest : public SupportUiTest {
 protected:
  static void writePng(const fs::path& path, std::uint32_t argb) {
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(platform::render::Bitmap(2, 2, std::vector<std::uint32_t>(4, argb)).writePng(path));
  }
  static bool isColor(const std::shared_ptr<platform::ui::Image>& image, double r, double g, double b) {
    if (!image) return false;
    Color c = image->pixelColor(0, 0);
    return std::abs(c.red - r) < 0.01 && std::abs(c.green - g) < 0.01 && std::abs(c.blue - b) < 0.01;
  }
};

TEST_F(ResourceUtilTest, ReadsTheResourcesFolderFirstThenTheCatalogue) {
  fs::path bundle = sandboxDir() / "Plugin.bundle";
  writePng(bundle / "resources" / "pad.png", 0xffff0000u);  // red file
  writePng(bundle / "pad.png", 0xff0000ffu);                // blue catalogue entry
  writePng(bundle / "Images" / "logo.png", 0xff00ff00u);    // green, catalogue only
  ResourceUtil::registerBundle(typeid(PluginPage), bundle);

  EXPECT_TRUE(isColor(ResourceUtil::loadResourceImage<PluginPage>("pad.png"), 1, 0, 0));
  EXPECT_TRUE(isColor(ResourceUtil::loadResourceImage<PluginPage>("logo"), 0, 1, 0));
  EXPECT_EQ(ResourceUtil::loadResourceImage<PluginPage>("missing.png"), nullptr);

  // A readable file that is no image answers none rather than the catalogue's entry.
  std::ofstream(bundle / "resources" / "broken.png") << "not a png";
  writePng(bundle / "broken.png", 0xff0000ffu);
  EXPECT_EQ(ResourceUtil::loadResourceImage<PluginPage>("broken.png"), nullptr);

  // Without a "resources" folder the catalogue answers alone.
  fs::remove_all(bundle / "resources");
  EXPECT_TRUE(isColor(ResourceUtil::loadResourceImage<PluginPage>("pad.png"), 0, 0, 1));

  // Names never lead out of the bundle.
  writePng(sandboxDir() / "secret.png", 0xffffffffu);
  fs::create_directories(bundle / "resources");
  EXPECT_EQ(ResourceUtil::loadResourceImage<PluginPage>("../../secret.png"), nullptr);
  EXPECT_EQ(ResourceUtil::loadResourceImage<PluginPage>((sandboxDir() / "secret.png").string()), nullptr);
  EXPECT_EQ(ResourceUtil::loadResourceImage<PluginPage>(""), nullptr);
}

TEST_F(ResourceUtilTest, ClassesBelongToTheirBundleOrTheMainOne) {
  fs::path mainResources = sandboxDir() / "app";
  platform::foundation::BundleInfo::main().setResourceDirectory(mainResources);
  writePng(mainResources / "resources" / "icon.png", 0xff00ff00u);
  EXPECT_EQ(ResourceUtil::bundleDirectory(typeid(HostPage)), mainResources);
  EXPECT_TRUE(isColor(ResourceUtil::loadResourceImage<HostPage>("icon.png"), 0, 1, 0));
  // The SDK's own bundle is the folder that holds its "resources".
  // In the build tree that is the library's own folder, where the build copies them.
  EXPECT_TRUE(fs::is_directory(ResourceUtil::bundleDirectory() / "resources"));
  EXPECT_NE(ResourceUtil::loadResourceImage("vehicle_icon.png"), nullptr);
  EXPECT_EQ(ResourceUtil::loadResourceImage("no-such-image.png"), nullptr);
  platform::foundation::BundleInfo::main().resetForTesting();
}

}  // namespace
}  // namespace lumo::test
