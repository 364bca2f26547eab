// LumoSdk::openControlPage: what the backend's answers lead to before any page exists.

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::LumoSdk;
using platform::dispatch::Seconds;
using sim::BackendReply;

class OpenControlPageTest : public lumo::test::ControlPageTest {
 protected:
  // Opens with the demo VIN and the next operate_info answer replaced by `reply`.
  void openWith(BackendReply reply) {
    backend->queueReply("/oper_sdk/operate_info", std::move(reply));
    LumoSdk::openControlPage(std::string(sim::BackendSimulator::kDemoVin));
    runUntil([&] { return backend->unusedReplies() == 0 && !waitDialogMessage(); }, Seconds(10));
    runFor(Seconds(1));
  }
  void expectToastAndNoPage(const std::string& toast) {
    EXPECT_TRUE(saw(toast)) << toast;
    EXPECT_EQ(presentedPage(), nullptr);
    EXPECT_FALSE(LumoSdk::landspace());
  }
};

TEST_F(OpenControlPageTest, AnInvalidVinOrNoHostSendsNothing) {
  backend->clearRequests();
  LumoSdk::openControlPage(std::nullopt);
  LumoSdk::openControlPage(std::string());
  runFor(Seconds(0.5));
  EXPECT_TRUE(saw("无效的VIN码"));
  window->setHidden(true);
  clearSeen();
  LumoSdk::openControlPage(std::string(sim::BackendSimulator::kDemoVin));
  runFor(Seconds(0.5));
  EXPECT_TRUE(backend->requestsTo("/oper_sdk/operate_info").empty());
  window->setHidden(false);

  LumoSdk::deInit();
  LumoSdk::openControlPage(std::string(sim::BackendSimulator::kDemoVin));
  runFor(Seconds(0.5));
  EXPECT_TRUE(consoleHas("LUMOSDK: lumosdk 没有被初始化，请先调用 lumosdk.initSdk()"));
  EXPECT_TRUE(backend->requestsTo("/oper_sdk/operate_info").empty());
}

TEST_F(OpenControlPageTest, TheRequestCarriesTheVinAndTheControlDataReachesThePage) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  auto requests = backend->requestsTo("/oper_sdk/operate_info");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].json["vin"], sim::BackendSimulator::kDemoVin);
  EXPECT_EQ(requests[0].json["operatorId"], "operatorId");
  EXPECT_EQ(requests[0].json["permission"], "W");
  EXPECT_EQ(requests[0].json["accessToken"], sim::BackendSimulator::kDemoToken);
  EXPECT_EQ(page->vehicleId(), 1);
  EXPECT_EQ(page->vehicleName(), "配送车 001");
  EXPECT_EQ(page->userName(), "演示用户");
  EXPECT_TRUE(consoleHas("获取到的数据：vehicleId=1, vehicleName=配送车 001, bleName=LUMO-V001, userName=演示用户"));
  EXPECT_EQ(page->modalPresentationStyle(), platform::ui::ModalPresentationStyle::automatic);
  EXPECT_EQ(page->navigationController()->modalPresentationStyle(), platform::ui::ModalPresentationStyle::fullScreen);
}

TEST_F(OpenControlPageTest, EnvelopesThatAreNotSuccessShowTheirMessage) {
  openWith(BackendReply::envelopeWith({{"code", 1}, {"msg", "车辆离线"}}));
  expectToastAndNoPage("获取车辆信息失败: 车辆离线");
  EXPECT_TRUE(consoleHas("API响应异常: 车辆离线"));
  openWith(BackendReply::envelopeWith({{"code", 1}}));
  expectToastAndNoPage("获取车辆信息失败: API响应异常");
  openWith(BackendReply::envelopeWith({{"code", 0}, {"msg", "ok"}}));
  expectToastAndNoPage("获取车辆信息失败: ok");
  openWith(BackendReply::envelopeWith({{"code", 0}, {"data", {1, 2}}}));
  expectToastAndNoPage("获取车辆信息失败: API响应异常");
  openWith(BackendReply::envelopeWith({{"code", "0"}, {"data", nlohmann::json::object()}}));
  expectToastAndNoPage("获取车辆信息失败: API响应异常");
}

TEST_F(OpenControlPageTest, TransportFailuresAndExpiredAuthorisationShowTheError) {
  auto anyLineStartsWith = [&](const std::string& prefix) {
    for (const auto& line : consoleLines()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  };
  openWith(BackendReply::drop());
  EXPECT_TRUE(anyLineStartsWith("获取车辆信息失败: message(\""));
  EXPECT_TRUE(anyLineStartsWith("lumosdk:打开控制页面失败: message(\""));
  EXPECT_EQ(presentedPage(), nullptr);

  openWith(BackendReply::code(1001, "授权已过期"));
  expectToastAndNoPage("获取车辆信息失败: message(\"授权已过期\")");
}

TEST_F(OpenControlPageTest, FieldsOfTheWrongTypeFallBackToTheirDefaults) {
  openWith(BackendReply::envelopeWith(
      {{"code", 0}, {"data", {{"vehicleId", "12"}, {"name", 5}, {"bleName", nullptr}, {"userName", true}}}}));
  // vehicleId -1 and an empty Bluetooth name: the page opens and ends at once.
  EXPECT_TRUE(saw("蓝牙设备名称为空"));
  EXPECT_TRUE(consoleHas("获取到的数据：vehicleId=-1, vehicleName=, bleName=, userName="));
  ASSERT_TRUE(runUntil([&] { return root->presentedViewController() == nullptr; }, Seconds(5)));
}

}  // namespace

namespace {

TEST_F(OpenControlPageTest, PagesMadeFromANibOrAnArchiveEndAtOnceWithoutScanning) {
  radio->clearOperations();
  platform::foundation::KeyedArchive archive;
  archive.encodeString("title", "遥控");
  for (auto page : {std::make_shared<lumo::LumoControlPage>(std::string("LumoControlPage"), std::string(".")),
                    std::make_shared<lumo::LumoControlPage>(archive)}) {
    clearSeen();
    EXPECT_EQ(page->bleName(), "");
    EXPECT_EQ(page->vehicleId(), 0);
    page->setModalPresentationStyle(platform::ui::ModalPresentationStyle::fullScreen);
    root->present(page, false);
    ASSERT_TRUE(runUntil([&] { return saw("蓝牙设备名称为空"); }, Seconds(5)));
    ASSERT_TRUE(runUntil([&] { return root->presentedViewController() == nullptr; }, Seconds(5)));
  }
  runFor(Seconds(35));
  EXPECT_EQ(radio->countOperations("scan"), 0u);
}

}  // namespace
