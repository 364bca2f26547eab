#include <cmath>

#include "lumosdk/pages/LumoControlPage.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/detail/DetailFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using sim::BackendReply;
using sim::BackendSimulator;
using std::chrono::milliseconds;
using std::chrono::seconds;

const Color kGreen{0.3, 0.68, 0.31, 1};
const Color kRed{0.96, 0.26, 0.21, 1};
const std::string kVin = BackendSimulator::kDemoVin;

using DetailPageTest = DetailFixture;

TEST_F(DetailPageTest, OpensOverAnyHostAndPollsEveryFiveSeconds) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(systemLogHas("LUMOSDK: openDetailPage - 导航控制器不存在"));
  EXPECT_EQ(platform::foundation::UserDefaults::standard().string("EXTRA_DATA_VIN"), kVin);
  auto navigation = std::dynamic_pointer_cast<NavigationController>(root->presentedViewController());
  ASSERT_NE(navigation, nullptr);
  EXPECT_EQ(navigation->modalPresentationStyle(), ModalPresentationStyle::fullScreen);
  EXPECT_TRUE(navigation->isNavigationBarHidden());
  EXPECT_TRUE(consoleHas("LumoDetailPage: 获取到VIN: " + kVin));

  ASSERT_NE(labelWithText(page->view(), "VIN: " + kVin), nullptr);
  ASSERT_EQ(polls(), 1u);
  EXPECT_EQ(backend->requestsTo("/oper_sdk/vehicle_info")[0].json,
            nlohmann::json({{"vin", kVin}, {"accessToken", BackendSimulator::kDemoToken}}));
  EXPECT_NE(labelWithText(page->view(), "配送车 001"), nullptr);
  auto status = labelWithText(page->view(), "车门已锁定");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->textColor(), kGreen);

  runFor(seconds(15));
  EXPECT_EQ(pollTimes(), (std::vector<double>{0, 5000, 10000, 15000}));
  EXPECT_TRUE(page->isPolling());

  // The whole page fits a portrait phone: nothing overlaps the title bar or leaves the screen.
  auto grid = labelWithText(page->view(), "行程记录")->superview();
  Rect last = grid->convertRectTo(grid->bounds(), nullptr);
  EXPECT_LE(last.maxY(), 844);
  EXPECT_GE(labelWithText(page->view(), "VIN: " + kVin)->convertRectTo({}, nullptr).minY(), 56);

  // From a host controller inside a navigation stack the page is pushed instead.
  page->backButtonTapped();
  runFor(seconds(1));
  auto hostStack = NavigationController::make(ViewController::make());
  window->setRootViewController(hostStack);
  runFor(milliseconds(100));
  LumoSdk::openDetailPage("LUMO0DEMO00000002");
  runFor(seconds(1));
  EXPECT_TRUE(systemLogHas("LUMOSDK: openDetailPage - 导航控制器存在"));
  ASSERT_EQ(hostStack->viewControllers().size(), 2u);
  auto pushed = std::dynamic_pointer_cast<LumoDetailPage>(hostStack->topViewController());
  ASSERT_NE(pushed, nullptr);
  EXPECT_EQ(pushed->vin(), "LUMO0DEMO00000002");
  EXPECT_TRUE(hostStack->isNavigationBarHidden());
  pushed->backButtonTapped();
  runFor(seconds(1));
  EXPECT_EQ(hostStack->viewControllers().size(), 1u);
  EXPECT_FALSE(hostStack->isNavigationBarHidden());
}

TEST_F(DetailPageTest, PollingStopsOnBackOnDisappearanceAndOnDestruction) {
  // Back: the timer stops before the page goes, and nothing is asked afterwards.
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  clearRecordedLines();
  tapButton(page->view(), "");  // the back button shows only its chevron
  EXPECT_FALSE(page->isPolling());
  EXPECT_TRUE(consoleHas("LumoDetailPage: 停止轮询车辆信息"));
  runFor(seconds(1));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  std::size_t after = polls();
  page.reset();
  runFor(seconds(20));
  EXPECT_EQ(polls(), after);
  EXPECT_TRUE(consoleHas("LumoDetailPage: deinit，停止轮询车辆信息"));
  EXPECT_EQ(consoleCount("LumoDetailPage: 停止轮询车辆信息"), 1u);

  // Disappearance: another page covers it; coming back does not resume the polling.
  page = openPage();
  auto navigation = page->navigationController();
  navigation->pushViewController(ViewController::make(), true);
  runFor(seconds(1));
  EXPECT_FALSE(page->isPolling());
  EXPECT_FALSE(navigation->isNavigationBarHidden());
  std::size_t covered = polls();
  runFor(seconds(12));
  navigation->popViewController(true);
  runFor(seconds(12));
  EXPECT_EQ(polls(), covered);
  EXPECT_TRUE(navigation->isNavigationBarHidden());
  page->backButtonTapped();
  runFor(seconds(1));
  page.reset();

  // Destruction: a page whose view loaded but never made it on screen stops with it.
  auto stray = std::make_shared<LumoDetailPage>();
  stray->view();
  EXPECT_TRUE(stray->isPolling());
  runFor(seconds(1));
  std::size_t strayPolls = polls();
  clearRecordedLines();
  stray.reset();
  EXPECT_TRUE(consoleHas("LumoDetailPage: deinit，停止轮询车辆信息"));
  EXPECT_TRUE(consoleHas("LumoDetailPage: 停止轮询车辆信息"));
  runFor(seconds(20));
  EXPECT_EQ(polls(), strayPolls);
}

TEST_F(DetailPageTest, CabinetFromTheGridConfirmsOpensAndShowsTheNewDoorState) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);

  // Cancelled: nothing is sent.
  tapItem(page, "打开车门");
  runFor(milliseconds(500));
  EXPECT_TRUE(consoleHas("LumoDetailPage: 点击打开车门，调用 openCabinet"));
  auto dialog = cabinetDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_NE(labelWithText(dialog->view(), "确认打开" + kVin + "的车门"), nullptr);
  tapButton(dialog->view(), "取消");
  runFor(milliseconds(500));
  EXPECT_EQ(cabinetDialog(), nullptr);
  EXPECT_TRUE(consoleHas("lumosdk:用户取消了打开车门操作，VIN: " + kVin));
  EXPECT_TRUE(backend->requestsTo("/oper_sdk/open_cabinet").empty());

  // Confirmed: the door opens, the wait dialog shows, and 3 s later the new state arrives.
  tapItem(page, "打开车门");
  runFor(milliseconds(500));
  ASSERT_NE(cabinetDialog(), nullptr);
  tapButton(cabinetDialog()->view(), "确定");
  ASSERT_TRUE(toastShown("操作成功"));
  auto opened = backend->requestsTo("/oper_sdk/open_cabinet");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].json, nlohmann::json({{"vin", kVin},
                                            {"operatorId", "operatorId"},
                                            {"permission", "W"},
                                            {"accessToken", BackendSimulator::kDemoToken}}));
  EXPECT_FALSE(backend->world().vehicle(kVin)->cabinetLocked);
  ASSERT_TRUE(runUntil([&] { return waitDialogText() == "获取状态中"; }, seconds(1)));
  double waitShown = now() - firstPoll();
  EXPECT_NE(labelWithText(page->view(), "车门已锁定"), nullptr);
  runFor(milliseconds(3100));
  EXPECT_NE(labelWithText(page->view(), "车门未锁定"), nullptr);
  // The refresh is the one poll off the 5-second beat, 3 s after the wait dialog showed.
  std::vector<double> offBeat;
  for (double t : pollTimes()) {
    if (std::fmod(t, 5000) != 0) offBeat.push_back(t);
  }
  EXPECT_EQ(offBeat, std::vector<double>{waitShown + 3000});
  EXPECT_EQ(labelWithText(page->view(), "车门未锁定")->textColor(), kRed);
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
  EXPECT_TRUE(consoleHas("lumosdk:打开车门成功，VIN: " + kVin));

  // A refused request shows why, and neither waits nor refreshes.
  backend->world().closeCabinet(kVin);
  backend->world().jamCabinet(kVin, true);
  tapItem(page, "打开车门");
  runFor(milliseconds(500));
  tapButton(cabinetDialog()->view(), "确定");
  ASSERT_TRUE(toastShown("操作失败: 车门故障"));
  runFor(seconds(6));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
  offBeat.clear();
  for (double t : pollTimes()) {
    if (std::fmod(t, 5000) != 0) offBeat.push_back(t);
  }
  EXPECT_EQ(offBeat.size(), 1u);  // still only the first refresh
}

TEST_F(DetailPageTest, GridItemsAnswerTheirTapsAndRemoteControlFollowsAfterATenthOfASecond) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  std::size_t before = backend->requests().size();

  tapItem(page, "位置查询");
  EXPECT_TRUE(toastShown("[位置查询]该功能暂不可用"));
  EXPECT_TRUE(consoleHas("LumoDetailPage: handleItemClick: 2"));
  tapItem(page, "行程记录");
  EXPECT_TRUE(toastShown("[行程记录]该功能暂不可用"));
  EXPECT_EQ(backend->requests().size(), before);
  EXPECT_EQ(cabinetDialog(), nullptr);

  // Disabled items are drawn faded with grey text; working ones are not.
  auto disabled = labelWithText(page->view(), "灯光控制");
  auto enabled = labelWithText(page->view(), "蓝牙遥控");
  EXPECT_EQ(disabled->superview()->alpha(), 0.5);
  EXPECT_EQ(enabled->superview()->alpha(), 1.0);
  EXPECT_NE(disabled->textColor(), enabled->textColor());
  EXPECT_EQ(disabled->superview()->tag(), 7);

  // Remote control: the control page is asked for a tenth of a second later, over this page.
  tapItem(page, "蓝牙遥控");
  EXPECT_TRUE(consoleHas("LumoDetailPage: 点击远程遥控，调用 openControlPage"));
  runFor(milliseconds(90));
  EXPECT_TRUE(backend->requestsTo("/oper_sdk/operate_info").empty());
  runFor(milliseconds(20));
  ASSERT_TRUE(runUntil([&] { return !backend->requestsTo("/oper_sdk/operate_info").empty(); }, seconds(1)));
  EXPECT_EQ(backend->requestsTo("/oper_sdk/operate_info")[0].json["vin"], kVin);
  ASSERT_TRUE(runUntil([&] { return page->navigationController()->presentedViewController() != nullptr; },
                       seconds(2)));
  runFor(seconds(1));
  auto presented = std::dynamic_pointer_cast<NavigationController>(page->navigationController()->presentedViewController());
  ASSERT_NE(presented, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<LumoControlPage>(presented->topViewController()), nullptr);
  EXPECT_FALSE(page->isPolling());  // covered by a full-screen page, the detail page stops polling
}

TEST_F(DetailPageTest, PollAnswersThatFailOrArriveLateNeverReplaceANewerState) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_NE(labelWithText(page->view(), "车门已锁定"), nullptr);

  // Two polls in flight: the older one is held back and answers last with a stale state.
  backend->queueReply("/oper_sdk/vehicle_info",
                      BackendReply::envelopeWith({{"code", 0}, {"data", {{"name", "旧名字"}, {"cabinetLocked", true}}}})
                          .after(milliseconds(300)));
  backend->queueReply("/oper_sdk/vehicle_info",
                      BackendReply::envelopeWith({{"code", 0}, {"data", {{"name", ""}, {"cabinetLocked", false}}}}));
  std::size_t before = backend->requests().size();
  page->loadInfo();
  ASSERT_TRUE(backend->waitForRequests(before + 1, seconds(5)));
  page->loadInfo();
  ASSERT_TRUE(runUntil([&] { return backend->unusedReplies() == 0 && polls() >= 3; }));
  runFor(milliseconds(100));
  EXPECT_NE(labelWithText(page->view(), "车门未锁定"), nullptr);
  EXPECT_EQ(labelWithText(page->view(), "旧名字"), nullptr);
  EXPECT_NE(labelWithText(page->view(), "配送车 001"), nullptr);  // an empty name keeps the title

  // Failures and other codes leave the labels as they are; the next tick tries again.
  backend->queueReply("/oper_sdk/vehicle_info", BackendReply::raw("not json"));
  runFor(seconds(5));
  EXPECT_TRUE(consoleHas("LumoDetailPage: loadInfo error: 数据解析失败"));
  backend->queueReply("/oper_sdk/vehicle_info", BackendReply::code(1001, "授权已过期"));
  runFor(seconds(5));
  EXPECT_TRUE(consoleHas("LumoDetailPage: loadInfo error: 授权已过期"));
  EXPECT_EQ(authExpired, 1);
  backend->queueReply("/oper_sdk/vehicle_info",
                      BackendReply::envelopeWith({{"code", 0}, {"data", {{"cabinetLocked", "no"}}}}));
  backend->queueReply("/oper_sdk/vehicle_info", BackendReply::code(2001, "车辆不存在"));
  runFor(seconds(10));
  backend->refuseConnections();
  runFor(seconds(5));
  EXPECT_NE(labelWithText(page->view(), "车门未锁定"), nullptr);
  ASSERT_TRUE(backend->acceptConnections());
  backend->world().closeCabinet(kVin);
  runFor(seconds(5));
  EXPECT_NE(labelWithText(page->view(), "车门已锁定"), nullptr);
  EXPECT_EQ(backend->unusedReplies(), 0u);
}

TEST_F(DetailPageTest, APageWithoutAVinSaysSoAndLeavesTheStack) {
  auto hostStack = NavigationController::make(ViewController::make());
  window->setRootViewController(hostStack);
  runFor(milliseconds(100));
  platform::foundation::UserDefaults::standard().set("", "EXTRA_DATA_VIN");
  auto page = std::make_shared<LumoDetailPage>();
  hostStack->pushViewController(page, false);
  EXPECT_TRUE(toastShown("无效的车辆信息"));
  runFor(seconds(1));
  EXPECT_EQ(hostStack->viewControllers().size(), 1u);
  EXPECT_FALSE(page->isPolling());
  runFor(seconds(10));
  EXPECT_EQ(polls(), 0u);
}

}  // namespace
}  // namespace lumo::test
