#include <algorithm>

#include "demo/app/ContentView.h"
#include "demo/app/NewContentView.h"
#include "demo/app/NewViewController.h"
#include "demo/app/TopViewController.h"
#include "demo/host/ScreenText.h"
#include "lumosdk/LumoSdk.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "tests/demo/DemoAppTest.h"

namespace lumo::test {
namespace {

using platform::ui::AlertController;
using platform::ui::Application;

class FormTest : public DemoAppTest {
 protected:
  // The alert on top of the key window, if one is shown.
  std::shared_ptr<AlertController> alert() const {
    auto top = demo::topViewController();
    return std::dynamic_pointer_cast<AlertController>(top);
  }
  int alertsShown() const {
    auto window = keyWindow();
    return window ? static_cast<int>(demo::ScreenText::find(*window, "提示").size()) : 0;
  }
  void retype(const std::string& field, const std::string& text) {
    ASSERT_TRUE(tap(form()->textField(field)->text().empty() ? field : form()->textField(field)->text()));
    while (!form()->textField(field)->text().empty()) keyWindow()->deleteBackward();
    if (!text.empty()) keyWindow()->insertText(text);
  }
};

TEST_F(FormTest, ShowsEveryFieldSectionAndButtonOnBothForms) {
  for (const char* text : {"test", "SDK参数", "AppKey", "UserToken", "车辆信息", "VIN", "状态", "未初始化",
                           sim::BackendSimulator::kDemoAppKey, sim::BackendSimulator::kDemoToken,
                           sim::BackendSimulator::kDemoVin}) {
    EXPECT_TRUE(shows(text)) << text;
  }
  const std::vector<std::string> all = {"初始化SDK", "打开控制页面", "打开详情页面", "开门", "newController", "新建窗口"};
  std::vector<double> tops;
  for (const auto& title : all) {
    auto button = form()->button(title);
    ASSERT_TRUE(button) << title;
    EXPECT_TRUE(shows(title)) << title;
    tops.push_back(button->convertRectTo(button->bounds(), nullptr).minY());
  }
  EXPECT_TRUE(std::is_sorted(tops.begin(), tops.end())) << "buttons out of order";
  // Every row fits the portrait screen: nothing is clipped at the bottom.
  EXPECT_LE(tops.back() + 44, keyWindow()->bounds().height());

  ASSERT_TRUE(tap("newController"));
  settle();
  auto second = form();
  ASSERT_TRUE(std::dynamic_pointer_cast<demo::NewContentView>(second));
  EXPECT_FALSE(second->button("newController"));
  EXPECT_FALSE(shows("newController"));
  for (const auto& title : all) {
    if (title != "newController") {
      EXPECT_TRUE(second->button(title)) << title;
    }
  }
  EXPECT_EQ(second->state().sdkStatus, "未初始化");
}

TEST_F(FormTest, InitialisationOutcomesReachTheStatusLineAndOneAlert) {
  auto first = form();
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus == "初始化成功"; }));
  settle();
  EXPECT_TRUE(shows("初始化成功"));
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->title(), "提示");
  EXPECT_EQ(alert()->message(), "SDK初始化成功");
  EXPECT_TRUE(first->state().showAlert);

  ASSERT_TRUE(tap("确定"));
  settle();
  EXPECT_FALSE(alert());
  EXPECT_FALSE(first->state().showAlert);

  // A second press: the SDK answers at once, and the screen shows that answer again.
  ASSERT_TRUE(tap("初始化SDK"));
  settle();
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message(), "SDK初始化成功");
  EXPECT_EQ(world->backend()->requestsTo("/oper_sdk/init").size(), 1u);
}

TEST_F(FormTest, AnExpiredTokenEndsOnTheLatestOutcomeWithASingleAlert) {
  auto first = form();
  world->backend()->world().expireToken(sim::BackendSimulator::kDemoToken);
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus == "初始化失败"; }));
  settle();
  // The expiry arrives first and is replaced by the error that follows it.
  EXPECT_EQ(alertsShown(), 1);
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message(), "SDK初始化失败: 授权已过期");
  ASSERT_TRUE(tap("确定"));
  settle();
  EXPECT_FALSE(alert());
  EXPECT_FALSE(first->state().showAlert);
  EXPECT_TRUE(shows("初始化失败"));
}

TEST_F(FormTest, TheButtonsSendWhatTheFieldsHoldAsTyped) {
  auto first = form();
  retype("UserToken", "");
  ASSERT_TRUE(tap("初始化SDK"));
  settle();
  ASSERT_TRUE(alert());
  EXPECT_EQ(alert()->message(), "SDK初始化失败: token未设置");
  EXPECT_TRUE(world->backend()->requestsTo("/oper_sdk/init").empty());
  ASSERT_TRUE(tap("确定"));
  settle();

  retype("UserToken", sim::BackendSimulator::kDemoToken);
  retype("AppKey", "unknown-app-key");
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return world->backend()->requestsTo("/oper_sdk/init").size() == 1; }));
  settle();
  EXPECT_EQ(world->backend()->requestsTo("/oper_sdk/init")[0].json["app_key"], "unknown-app-key");
  EXPECT_EQ(first->state().appKey, "unknown-app-key");
}

TEST_F(FormTest, NewControllerNeedsAKeyWindowAndNewWindowOpensAScene) {
  auto firstWindow = keyWindow();
  Application::shared().setKeyWindow(nullptr);
  auto button = std::dynamic_pointer_cast<demo::ContentView>(
                    demo::ScreenText::find(*firstWindow, "SDK参数").front()->superview())
                    ->button("newController");
  button->sendActions(platform::ui::ControlEvent::touchUpInside);
  settle();
  EXPECT_FALSE(firstWindow->rootViewController()->presentedViewController());
  firstWindow->makeKey();

  ASSERT_TRUE(tap("newController"));
  settle();
  auto presented = firstWindow->rootViewController()->presentedViewController();
  auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(presented);
  ASSERT_TRUE(navigation);
  EXPECT_EQ(navigation->modalPresentationStyle(), platform::ui::ModalPresentationStyle::fullScreen);
  EXPECT_TRUE(std::dynamic_pointer_cast<demo::NewViewController>(navigation->topViewController()));

  ASSERT_TRUE(tap("新建窗口"));
  settle();
  ASSERT_EQ(Application::shared().connectedScenes().size(), 2u);
  EXPECT_NE(keyWindow(), firstWindow);
  EXPECT_EQ(keyWindow()->windowScene(), Application::shared().connectedScenes()[1]);
  EXPECT_TRUE(shows("newController"));  // the new window starts on the first form

  Application::shared().setSupportsMultipleScenes(false);
  ASSERT_TRUE(tap("新建窗口"));
  EXPECT_EQ(Application::shared().connectedScenes().size(), 2u);
  EXPECT_TRUE(consoleHas("新建窗口失败: The application does not support multiple scenes."));
}

TEST_F(FormTest, OrientationFollowsTheSdkFlag) {
  auto scene = keyWindow()->windowScene();
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::portrait);
  LumoSdk::setLandspace(true);
  platform::ui::ViewController::attemptRotationToDeviceOrientation();
  settle();
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::landscapeRight);
  EXPECT_EQ(keyWindow()->bounds().width(), 844);
  // The list stays readable on the wide screen: centred, not stretched edge to edge.
  auto label = demo::ScreenText::find(*keyWindow(), "AppKey").front();
  EXPECT_GT(label->convertRectTo(label->bounds(), nullptr).minX(), 100);

  LumoSdk::setLandspace(false);
  platform::ui::ViewController::attemptRotationToDeviceOrientation();
  settle();
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::portrait);
  EXPECT_EQ(keyWindow()->bounds().height(), 844);
}

}  // namespace
}  // namespace lumo::test

namespace lumo::test {
namespace {

TEST_F(FormTest, TheControlPageOpensInLandscapeForTheVinAsTypedAndLeavesInPortrait) {
  auto first = form();
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus == "初始化成功"; }));
  settle();
  ASSERT_TRUE(tap("确定"));
  settle();

  // An empty VIN goes to the SDK as typed; the SDK explains it.
  retype("VIN", "");
  ASSERT_TRUE(tap("打开控制页面"));
  settle();
  EXPECT_TRUE(world->backend()->requestsTo("/oper_sdk/operate_info").empty());
  EXPECT_TRUE(shows("无效的VIN码"));
  runFor(std::chrono::seconds(3));

  keyWindow()->insertText(sim::BackendSimulator::kDemoVin);
  ASSERT_TRUE(tap("打开控制页面"));
  runFor(std::chrono::seconds(3));
  auto asked = world->backend()->requestsTo("/oper_sdk/operate_info");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].json["vin"], sim::BackendSimulator::kDemoVin);
  auto scene = keyWindow()->windowScene();
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::landscapeRight);
  EXPECT_TRUE(shows("配送车 001"));
  EXPECT_TRUE(world->vehicle().hasControlGranted());

  ASSERT_TRUE(tap("退出"));
  runFor(std::chrono::seconds(3));
  EXPECT_FALSE(LumoSdk::landspace());
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::portrait);
  EXPECT_TRUE(shows("初始化成功"));
}

}  // namespace
}  // namespace lumo::test

namespace lumo::test {
namespace {

TEST_F(FormTest, TheDoorAndDetailButtonsActOnTheTypedVin) {
  auto first = form();
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus == "初始化成功"; }));
  settle();
  ASSERT_TRUE(tap("确定"));
  settle();

  retype("VIN", "LUMO0DEMO00000002");
  ASSERT_TRUE(tap("开门"));
  settle();
  EXPECT_TRUE(shows("确认打开LUMO0DEMO00000002的车门"));
  ASSERT_TRUE(tap("取消"));
  settle();
  EXPECT_TRUE(world->backend()->requestsTo("/oper_sdk/open_cabinet").empty());
  ASSERT_TRUE(tap("开门"));
  settle();
  ASSERT_TRUE(tap("确定"));
  runFor(std::chrono::seconds(1));
  auto opened = world->backend()->requestsTo("/oper_sdk/open_cabinet");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].json["vin"], "LUMO0DEMO00000002");
  runFor(std::chrono::seconds(3));

  ASSERT_TRUE(tap("打开详情页面"));
  runFor(std::chrono::seconds(2));
  EXPECT_TRUE(shows("配送车 002"));
  EXPECT_TRUE(shows("VIN: LUMO0DEMO00000002"));
}

}  // namespace
}  // namespace lumo::test
