#include "platform/foundation/UserDefaults.h"
#include "tests/detail/DetailFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using sim::BackendReply;
using sim::BackendSimulator;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kVin = BackendSimulator::kDemoVin;

class CabinetAndInputTest : public DetailFixture {
 protected:
  // Asks for the cabinet, confirms, and waits for the toast that ends it.
  void openAndConfirm(const std::string& expectedToast) {
    LumoSdk::openCabinetWithCallback(kVin, [this] { ++callbacks; });
    runFor(milliseconds(500));
    auto dialog = cabinetDialog();
    ASSERT_NE(dialog, nullptr);
    tapButton(dialog->view(), "确定");
    EXPECT_TRUE(toastShown(expectedToast)) << expectedToast;
    runFor(seconds(2));
  }
  int callbacks = 0;
};

TEST_F(CabinetAndInputTest, OnlyAnAcceptedRequestCountsAsOpened) {
  openAndConfirm("操作成功");
  EXPECT_EQ(callbacks, 1);
  EXPECT_TRUE(consoleHas("lumosdk:打开车门成功，VIN: " + kVin));

  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::envelopeWith({{"code", 500}}));
  openAndConfirm("操作失败: API响应异常");
  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::code(7, "车辆离线"));
  openAndConfirm("操作失败: 车辆离线");
  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::envelopeWith({{"msg", "无代码"}}, 500));
  openAndConfirm("操作失败: 无代码");
  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::raw("<html>"));
  openAndConfirm("操作失败: message(\"数据解析失败\")");
  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::code(1001, "授权已过期"));
  openAndConfirm("操作失败: message(\"授权已过期\")");
  EXPECT_EQ(authExpired, 1);
  EXPECT_TRUE(consoleHas("lumosdk:打开车门失败: message(\"授权已过期\")"));
  EXPECT_TRUE(consoleHas("lumosdk:打开车门失败，API错误: 车辆离线"));
  EXPECT_EQ(callbacks, 1);

  // A VIN the backend does not know is refused like any other application error.
  LumoSdk::openCabinet("NOSUCHVIN");
  runFor(milliseconds(500));
  EXPECT_NE(labelWithText(cabinetDialog()->view(), "确认打开NOSUCHVIN的车门"), nullptr);
  tapButton(cabinetDialog()->view(), "确定");
  EXPECT_TRUE(toastShown("操作失败: 车辆不存在"));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
}

TEST_F(CabinetAndInputTest, ASlowOrAbsentBackendShowsTheWaitAndThenTheFailure) {
  backend->queueReply("/oper_sdk/open_cabinet", BackendReply::code(0).after(milliseconds(300)));
  LumoSdk::openCabinet(kVin);
  runFor(milliseconds(500));
  tapButton(cabinetDialog()->view(), "确定");
  ASSERT_TRUE(runUntil([&] { return waitDialogText() == "正在发送指令"; }, seconds(1)));
  EXPECT_TRUE(toastShown("操作成功"));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
  runFor(seconds(2));

  backend->refuseConnections();
  LumoSdk::openCabinet(kVin);
  runFor(milliseconds(500));
  tapButton(cabinetDialog()->view(), "确定");
  // The transfer's own error text, in the error's debug form.
  auto failureToast = [this] {
    for (const auto& view : allViews(window)) {
      auto label = std::dynamic_pointer_cast<Label>(view);
      if (label && label->text().rfind("操作失败: message(\"", 0) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(runUntil(failureToast, seconds(40)));
  EXPECT_EQ(labelWithText(window, "操作成功"), nullptr);
  runFor(milliseconds(300));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
}

TEST_F(CabinetAndInputTest, BadInputEndsInItsMessageAndNothingElse) {
  for (const auto& open : std::vector<std::function<void()>>{[] { LumoSdk::openDetailPage(""); },
                                                             [] { LumoSdk::openCabinet(""); },
                                                             [this] { LumoSdk::openCabinetWithCallback("", [this] { ++callbacks; }); }}) {
    open();
    EXPECT_TRUE(toastShown("无效的VIN码"));
    runFor(seconds(2));
  }
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_FALSE(platform::foundation::UserDefaults::standard().string("EXTRA_DATA_VIN"));

  // No usable window: no top controller, so nothing is shown anywhere.
  window->setHidden(true);
  clearRecordedLines();
  LumoSdk::openDetailPage(kVin);
  LumoSdk::openCabinet(kVin);
  runFor(seconds(1));
  EXPECT_EQ(consoleCount("ContextUtil:[ContextUtil] 未找到可用的 UIWindow"), 2u);
  EXPECT_EQ(consoleCount("DialogUtil:[DialogUtil] showToast 未找到 active window"), 2u);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  window->setHidden(false);

  // Not initialised: refused before anything else.
  LumoSdk::deInit();
  clearRecordedLines();
  LumoSdk::openDetailPage(kVin);
  LumoSdk::openCabinet("");
  LumoSdk::openCabinetWithCallback(kVin, [this] { ++callbacks; });
  runFor(seconds(1));
  EXPECT_EQ(consoleCount("LUMOSDK: lumosdk 没有被初始化，请先调用 lumosdk.initSdk()"), 3u);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(labelWithText(window, "无效的VIN码"), nullptr);
  EXPECT_TRUE(backend->requests().empty());
  EXPECT_EQ(callbacks, 0);
}

}  // namespace
}  // namespace lumo::test
