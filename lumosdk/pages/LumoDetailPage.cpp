#include "lumosdk/pages/LumoDetailPage.h"

#include "lumosdk/pages/DetailPageStyle.h"
#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"

namespace lumo {

namespace {
using namespace platform::ui;
using platform::foundation::ConsoleLog;
using namespace detail_page;
}  // namespace

LumoDetailPage::LumoDetailPage()
    : functionNames_{"蓝牙遥控", "打开车门", "位置查询", "车辆锁定", "远程启动",
                     "空调控制", "车窗控制", "灯光控制", "行程记录"},
      enableList_{true, true, false, false, false, false, false, false, false},
      iconNames_{"car.fill", "lock.open.fill", "location.fill", "lock.fill", "power",
                 "wind", "window.shade.closed", "lightbulb.fill", "car.2.fill"} {}

LumoDetailPage::~LumoDetailPage() {
  ConsoleLog::write("LumoDetailPage: deinit，停止轮询车辆信息");
  stopPolling();
}

void LumoDetailPage::viewDidLoad() {
  ConsoleLog::write("LumoDetailPage: viewDidLoad 开始");
  if (auto stored = platform::foundation::UserDefaults::standard().string(kVinPreferenceKey)) {
    vin_ = *stored;
    ConsoleLog::write("LumoDetailPage: 获取到VIN: " + vin_);
  }
  if (vin_.empty()) {
    DialogUtil::showToast("无效的车辆信息");
    if (auto navigation = navigationController()) navigation->popViewController(true);
    return;
  }
  buildViews();
  loadInfo();
  // The timer holds the page weakly: a page that is dropped without ever disappearing
  // (its presentation refused, say) must not keep polling on its own.
  std::weak_ptr<ViewController> weak = weak_from_this();
  timer_ = platform::dispatch::Timer::scheduled(
      platform::dispatch::Seconds(pollingInterval_), true, [weak](platform::dispatch::Timer& timer) {
        auto page = std::static_pointer_cast<LumoDetailPage>(weak.lock());
        if (!page) {
          timer.invalidate();
          return;
        }
        page->loadInfo();
      });
  ConsoleLog::write("LumoDetailPage: viewDidLoad 结束");
}

void LumoDetailPage::viewWillAppear(bool animated) {
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, animated);
}

void LumoDetailPage::viewWillDisappear(bool animated) {
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, animated);
  stopPolling();
}

void LumoDetailPage::stopPolling() {
  if (!timer_ || !timer_->isValid()) return;
  timer_->invalidate();
  timer_.reset();
  ConsoleLog::write("LumoDetailPage: 停止轮询车辆信息");
}

void LumoDetailPage::loadInfo() {
  std::string url = lumoBaseUrl(LumoSdk::currentEnvironment()) + "/oper_sdk/vehicle_info";
  std::uint64_t request = ++requestsSent_;
  std::weak_ptr<ViewController> weak = weak_from_this();
  NetworkUtil::post(shared_from_this(), url, {{"vin", vin_}}, false, std::nullopt,
                    [weak, request](const NetworkUtil::Result& result) {
                      platform::dispatch::DispatchQueue::main()->async([weak, request, result] {
                        auto page = std::static_pointer_cast<LumoDetailPage>(weak.lock());
                        if (!page) return;
                        page->applyInfo(request, result.isSuccess(),
                                        result.isSuccess() ? std::string() : result.error()->description(),
                                        result.envelope());
                      });
                    });
}

void LumoDetailPage::applyInfo(std::uint64_t request, bool success, const std::string& error,
                               const nlohmann::json& envelope) {
  DialogUtil::dismissWaitDialog();
  if (!success) {
    ConsoleLog::write("LumoDetailPage: loadInfo error: " + error);
    return;
  }
  auto code = envelope.find("code");
  auto data = envelope.find("data");
  if (code == envelope.end() || !code->is_number_integer() || *code != 0 || data == envelope.end() ||
      !data->is_object()) {
    return;
  }
  if (request < lastApplied_ || !titleLabel_) return;
  lastApplied_ = request;
  auto name = data->find("name");
  if (name != data->end() && name->is_string() && !name->get<std::string>().empty()) {
    titleLabel_->setText(name->get<std::string>());
  }
  auto locked = data->find("cabinetLocked");
  if (locked != data->end() && locked->is_boolean()) {
    bool isLocked = locked->get<bool>();
    cabinetStatusLabel_->setText(isLocked ? "车门已锁定" : "车门未锁定");
    cabinetStatusLabel_->setTextColor(isLocked ? kLockedColor : kUnlockedColor);
  }
}

void LumoDetailPage::backButtonTapped() {
  stopPolling();
  if (presentingViewController()) {
    dismiss(true);
  } else if (auto navigation = navigationController(); navigation && !isBeingDismissed()) {
    navigation->popViewController(true);
  }
  DialogUtil::dismissWaitDialog();
}

void LumoDetailPage::handleItemClick(int index) {
  ConsoleLog::write("LumoDetailPage: handleItemClick: " + std::to_string(index));
  if (index < 0 || index >= FUNCTION_COUNT) return;
  if (!enableList_[index]) {
    DialogUtil::showToast("[" + functionNames_[index] + "]该功能暂不可用");
    return;
  }
  std::weak_ptr<ViewController> weak = weak_from_this();
  if (index == 1) {
    ConsoleLog::write("LumoDetailPage: 点击打开车门，调用 openCabinet");
    LumoSdk::openCabinetWithCallback(vin_, [weak] {
      if (weak.expired()) return;
      DialogUtil::showWaitDialog("获取状态中");
      platform::dispatch::DispatchQueue::main()->asyncAfter(platform::dispatch::Seconds(3.0), [weak] {
        auto page = std::static_pointer_cast<LumoDetailPage>(weak.lock());
        // The page went away meanwhile: nothing will answer, so take the wait dialog down.
        if (!page) return DialogUtil::dismissWaitDialog();
        page->loadInfo();
      });
    });
    return;
  }
  if (index == 0) {
    ConsoleLog::write("LumoDetailPage: 点击远程遥控，调用 openControlPage");
    std::string vin = vin_;
    platform::dispatch::DispatchQueue::main()->asyncAfter(platform::dispatch::Seconds(0.1),
                                                          [vin] { LumoSdk::openControlPage(vin); });
    return;
  }
  DialogUtil::showToast("功能开发中");
}

}  // namespace lumo
