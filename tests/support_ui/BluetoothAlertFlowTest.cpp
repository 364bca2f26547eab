#include "lumosdk/utils/BluetoothAlertFlow.h"
#include "platform/ui/AlertController.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::ble::ManagerState;
using std::chrono::milliseconds;

class BluetoothAlertFlowTest : public SupportUiTest {
 protected:
  void SetUp() override {
    SupportUiTest::SetUp();
    BluetoothAlertFlow::install();
  }
  // The probe exists and has heard the adapter once.
  void probeReady(ManagerState adapter) {
    radio->setAdapterState(adapter);
    BluetoothUtil::stateManager();
    runFor(milliseconds(1));
    clearRecordedLines();
  }
  void check(const std::shared_ptr<ViewController>& page = nullptr) {
    BluetoothUtil::checkAndRequestPermissions(page ? page : root, [this](bool usable) { answers.push_back(usable); });
  }
  std::shared_ptr<AlertController> alert() const {
    return std::dynamic_pointer_cast<AlertController>(root->presentedViewController());
  }
  std::vector<std::string> buttonTitles() const {
    std::vector<std::string> titles;
    for (const auto& button : alert()->actionButtons()) titles.push_back(button->title());
    return titles;
  }
  void tapButton(const std::string& title) {
    for (const auto& button : alert()->actionButtons()) {
      if (button->title() == title) tapView(button);
    }
  }
  bool logged(const std::string& text) const { return consoleHas("LUMOSDK_BluetoothUtil: " + text); }

  std::vector<bool> answers;
};

TEST_F(BluetoothAlertFlowTest, AnAdapterThatIsOnAnswersTrueAtOnceAndAConnectedVehicleSkipsTheAdapter) {
  probeReady(ManagerState::poweredOn);
  check();
  EXPECT_EQ(answers, std::vector<bool>{true});  // synchronously
  runFor(milliseconds(500));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(logged("checkAndRequestPermissions: 开始检查蓝牙权限"));
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 当前蓝牙状态: poweredOn, 剩余重试次数: 3"));
  EXPECT_TRUE(logged("checkAndRequestPermissions: 蓝牙已开启且有权限"));

  BluetoothUtil::resetForTesting();
  BluetoothAlertFlow::install();
  sim::VehicleSimulator vehicle(radio, "LUMO-V01");
  ASSERT_TRUE(BluetoothUtil::initialize());
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 7);
  ASSERT_TRUE(runUntil([] { return BluetoothUtil::isConnected(); }, std::chrono::seconds(5)));
  clearRecordedLines();
  BluetoothUtil::checkBluetoothEnabled(root, [this](bool usable) { answers.push_back(usable); });
  EXPECT_EQ(answers, (std::vector<bool>{true, true}));
  EXPECT_TRUE(logged("checkAndRequestPermissions: 已连接设备，权限已获取"));
  EXPECT_FALSE(logged("checkAndRequestPermissions: 初始化蓝牙状态管理器"));
  BluetoothUtil::disconnect();
  runFor(milliseconds(100));
}

TEST_F(BluetoothAlertFlowTest, AdapterOffOffersSettingsAndAnswersFalse) {
  probeReady(ManagerState::poweredOff);
  check();
  EXPECT_TRUE(answers.empty());
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->title(), "蓝牙未开启");
  EXPECT_EQ(alert()->message(), "请在设置中开启蓝牙以使用此功能");
  EXPECT_EQ(buttonTitles(), (std::vector<std::string>{"前往设置", "取消"}));
  EXPECT_TRUE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_TRUE(logged("showBluetoothEnableDialog: 准备显示蓝牙开启对话框"));
  EXPECT_TRUE(logged("showBluetoothEnableDialog: 显示蓝牙开启对话框"));

  tapButton("前往设置");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(Application::shared().openedUrls(), std::vector<std::string>{BluetoothAlertFlow::kSettingsUrl});
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_TRUE(logged("showBluetoothEnableDialog: 用户选择前往设置"));
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

// A host that calls the link without initialising the SDK gets the same explanation.
TEST_F(BluetoothAlertFlowTest, TheAlertsAreTheDefaultAndAHostFlowReplacesThem) {
  BluetoothUtil::resetForTesting();
  probeReady(ManagerState::poweredOff);
  check();
  EXPECT_TRUE(answers.empty()) << "no answer from the adapter state alone";
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->title(), "蓝牙未开启");
  tapButton("取消");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});

  class AlwaysUsable : public BluetoothPermissionFlow {
   public:
    void checkAndRequestPermissions(const std::shared_ptr<ViewController>&, std::function<void(bool)> callback) override {
      callback(true);
    }
  };
  BluetoothUtil::setPermissionFlow(std::make_shared<AlwaysUsable>());
  check();
  runFor(milliseconds(400));
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(BluetoothAlertFlowTest, PermissionDeniedAndMissingHardwareEachShowTheirAlert) {
  probeReady(ManagerState::unauthorized);
  check();
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->title(), "权限请求");
  EXPECT_EQ(alert()->message(), "蓝牙功能需要相关权限才能正常工作。请前往设置开启所需权限。");
  EXPECT_EQ(buttonTitles(), (std::vector<std::string>{"前往设置", "取消"}));
  tapButton("取消");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_TRUE(Application::shared().openedUrls().empty());
  EXPECT_TRUE(logged("showPermissionDeniedDialog: 用户取消操作"));

  probeReady(ManagerState::unsupported);
  check();
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->title(), "不支持蓝牙");
  EXPECT_EQ(alert()->message(), "您的设备不支持蓝牙功能，无法使用此功能。");
  EXPECT_EQ(buttonTitles(), std::vector<std::string>{"确定"});
  tapButton("确定");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, (std::vector<bool>{false, false}));
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_TRUE(logged("showUnsupportedDialog: 用户确认了解设备不支持蓝牙"));
}

TEST_F(BluetoothAlertFlowTest, ASecondCheckWhileAnAlertShowsAnswersFalseAtOnce) {
  probeReady(ManagerState::poweredOff);
  check();
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  auto first = alert();
  check();
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_TRUE(logged("checkAndRequestPermissions: 已有对话框正在显示，避免重复显示"));
  runFor(milliseconds(400));
  EXPECT_EQ(alert(), first);

  // Two checks in one turn: the second alert must not be lost silently.
  tapButton("取消");
  runFor(milliseconds(400));
  answers.clear();
  check();
  check();
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_TRUE(logged("showBluetoothEnableDialog: 已有对话框正在显示，避免重复显示"));
  ASSERT_NE(alert(), nullptr);
  tapButton("取消");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, (std::vector<bool>{false, false}));
}

TEST_F(BluetoothAlertFlowTest, APageOnItsWayOutGetsNoAlert) {
  probeReady(ManagerState::poweredOff);
  auto page = ViewController::make();
  root->present(page, false);
  runFor(milliseconds(1));
  page->dismiss(true);
  runFor(milliseconds(100));
  ASSERT_TRUE(page->isBeingDismissed());
  check(page);
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_TRUE(logged("checkAndRequestPermissions: ViewController is being dismissed, 无法显示对话框"));
  runFor(milliseconds(400));

  // A page that leaves between the check and the alert's turn.
  auto other = ViewController::make();
  root->present(other, false);
  runFor(milliseconds(1));
  check(other);
  other->dismiss(false);
  runFor(milliseconds(400));
  EXPECT_EQ(answers, (std::vector<bool>{false, false}));
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(BluetoothAlertFlowTest, AnAlertTakenAwayByOtherCodeStillAnswersAndFreesTheFlag) {
  probeReady(ManagerState::poweredOff);
  auto page = ViewController::make();
  root->present(page, false);
  runFor(milliseconds(1));
  check(page);
  runFor(milliseconds(400));
  ASSERT_NE(std::dynamic_pointer_cast<AlertController>(page->presentedViewController()), nullptr);
  page->dismiss(true);  // the host closes the page under the alert
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  EXPECT_TRUE(logged("showBluetoothEnableDialog: 对话框被其他代码关闭"));

  // The next page can check again.
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(1));
  check();
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(BluetoothAlertFlowTest, AnUnknownStateIsRetriedThreeTimesThenExplained) {
  radio->setAdapterState(ManagerState::unknown);
  check();
  EXPECT_TRUE(logged("checkAndRequestPermissions: 初始化蓝牙状态管理器"));
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 当前蓝牙状态: unknown, 剩余重试次数: 3"));
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 状态未知，3秒后重试"));
  runFor(milliseconds(1100));  // the first report (still unknown), then 1 s
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 状态未知，2秒后重试"));
  for (int report = 0; report < 2; ++report) {
    radio->setAdapterState(ManagerState::unknown);
    runFor(milliseconds(1100));
  }
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 当前蓝牙状态: unknown, 剩余重试次数: 0"));
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 重试次数用完，蓝牙状态仍未知"));
  EXPECT_TRUE(answers.empty());
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->title(), "蓝牙状态");
  EXPECT_EQ(alert()->message(), "无法获取蓝牙状态，请确保蓝牙功能正常");
  EXPECT_EQ(buttonTitles(), (std::vector<std::string>{"前往设置", "取消"}));
  EXPECT_TRUE(logged("showBluetoothErrorDialog: 准备显示蓝牙错误对话框: 无法获取蓝牙状态，请确保蓝牙功能正常"));
  tapButton("取消");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, std::vector<bool>{false});
}

TEST_F(BluetoothAlertFlowTest, AStateThatArrivesDuringTheRetriesIsHandled) {
  radio->setAdapterState(ManagerState::unknown);
  check();
  runFor(milliseconds(1100));
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(10));
  EXPECT_EQ(answers, std::vector<bool>{true});
  EXPECT_TRUE(logged("checkBluetoothStateWithRetry: 回调返回状态: poweredOn"));
}

TEST_F(BluetoothAlertFlowTest, ResettingIsReadAgainAfterOneSecond) {
  probeReady(ManagerState::resetting);
  check();
  EXPECT_TRUE(logged("checkAndRequestPermissions: 蓝牙正在重置，1秒后重试"));
  runFor(milliseconds(500));
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(600));
  EXPECT_EQ(answers, std::vector<bool>{true});

  radio->setAdapterState(ManagerState::resetting);
  runFor(milliseconds(1));
  check();
  runFor(milliseconds(1400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->message(), "蓝牙正在重置，请稍后再试");
  tapButton("前往设置");
  runFor(milliseconds(400));
  EXPECT_EQ(answers, (std::vector<bool>{true, false}));
}

TEST_F(BluetoothAlertFlowTest, AStateValueOutsideTheKnownOnesIsAbnormal) {
  probeReady(static_cast<ManagerState>(9));
  check();
  EXPECT_TRUE(logged("checkAndRequestPermissions: 未知的蓝牙状态"));
  runFor(milliseconds(400));
  ASSERT_NE(alert(), nullptr);
  EXPECT_EQ(alert()->message(), "蓝牙状态异常，请检查设备设置");
  alert()->dismiss(false);  // other code closes the alert itself
  runFor(milliseconds(10));
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_FALSE(BluetoothUtil::isPermissionDialogShowing());
}

}  // namespace
}  // namespace lumo::test
