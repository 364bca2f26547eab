// The host's operations on one vehicle that need no Bluetooth: the detail page and the
// cabinet door.
#include <nlohmann/json.hpp>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/ContextUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/NavigationController.h"

namespace lumo {

namespace {

constexpr const char* kTag = "lumosdk";

// The checks every vehicle operation starts with; false when the call must stop.
bool acceptsVin(const std::string& vin) {
  if (!LumoSdk::checkInitialized()) return false;
  if (vin.empty()) {
    DialogUtil::showToast("无效的VIN码");
    return false;
  }
  return true;
}

std::shared_ptr<platform::ui::ViewController> presentingController() {
  auto top = ContextUtil::getTopViewController();
  if (!top) DialogUtil::showToast("无法获取当前视图控制器");
  return top;
}

// Only code 0 means the door was opened: any other envelope is the backend refusing, and
// telling the user "操作成功" then would send them to a door that stays shut.
void finishCabinetRequest(const NetworkUtil::Result& result, const std::string& vin,
                          const std::function<void()>& callback) {
  if (!result.isSuccess()) {
    std::string error = result.error()->debugDescription();
    DialogUtil::showToast("操作失败: " + error);
    LogUtil::e("打开车门失败: " + error, kTag);
    return;
  }
  const nlohmann::json& envelope = result.envelope();
  auto code = envelope.find("code");
  if (code != envelope.end() && code->is_number_integer() && *code == 0) {
    DialogUtil::showToast("操作成功");
    if (callback) callback();
    LogUtil::i("打开车门成功，VIN: " + vin, kTag);
    return;
  }
  auto msg = envelope.find("msg");
  std::string reason = (msg != envelope.end() && msg->is_string()) ? msg->get<std::string>() : "API响应异常";
  DialogUtil::showToast("操作失败: " + reason);
  LogUtil::e("打开车门失败，API错误: " + reason, kTag);
}

void confirmAndOpenCabinet(const std::string& vin, std::function<void()> callback) {
  if (!acceptsVin(vin)) return;
  std::string url = lumoBaseUrl(LumoSdk::currentEnvironment()) + "/oper_sdk/open_cabinet";
  nlohmann::json body = {{"vin", vin}, {"operatorId", "operatorId"}, {"permission", "W"}};
  auto top = presentingController();
  if (!top) return;
  auto send = [top, url, body, vin, callback] {
    NetworkUtil::post(top, url, body, true, "正在发送指令",
                      [vin, callback](const NetworkUtil::Result& result) { finishCabinetRequest(result, vin, callback); });
  };
  auto cancel = [vin] { LogUtil::d("用户取消了打开车门操作，VIN: " + vin, kTag); };
  DialogUtil::showCustomDialog(top, std::nullopt, "确认打开" + vin + "的车门", nullptr, "确定", send, "取消", cancel,
                               false, true, ButtonLayout::horizontal, std::nullopt);
}

}  // namespace

void LumoSdk::openDetailPage(const std::string& vin) {
  if (!acceptsVin(vin)) return;
  auto& defaults = platform::foundation::UserDefaults::standard();
  defaults.set(vin, LumoDetailPage::kVinPreferenceKey);
  defaults.synchronize();
  auto top = presentingController();
  if (!top) return;
  auto page = std::make_shared<LumoDetailPage>();
  if (auto navigation = top->navigationController()) {
    platform::foundation::SystemLog::info("LUMOSDK: openDetailPage - 导航控制器存在");
    navigation->pushViewController(page, true);
    return;
  }
  platform::foundation::SystemLog::info("LUMOSDK: openDetailPage - 导航控制器不存在");
  auto navigation = platform::ui::NavigationController::make(page);
  navigation->setModalPresentationStyle(platform::ui::ModalPresentationStyle::fullScreen);
  top->present(navigation, true);
}

void LumoSdk::openCabinet(const std::string& vin) { confirmAndOpenCabinet(vin, nullptr); }

void LumoSdk::openCabinetWithCallback(const std::string& vin, std::function<void()> callback) {
  confirmAndOpenCabinet(vin, std::move(callback));
}

}  // namespace lumo
