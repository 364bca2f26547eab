// LumoSdk::openControlPage: the vehicle's control data from the backend, then the page.

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "lumosdk/utils/ContextUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/NavigationController.h"

namespace lumo {

namespace ui = platform::ui;

namespace {

constexpr const char* kTag = "lumosdk";

std::string textOr(const nlohmann::json& data, const char* key) {
  auto it = data.find(key);
  return (it != data.end() && it->is_string()) ? it->get<std::string>() : std::string();
}

std::int64_t vehicleIdOf(const nlohmann::json& data) {
  auto it = data.find("vehicleId");
  if (it == data.end() || !it->is_number_integer()) return -1;
  // An id beyond the 64-bit range is no id of ours.
  if (it->is_number_unsigned() && it->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) return -1;
  return it->get<std::int64_t>();
}

void presentControlPage(const std::shared_ptr<ui::ViewController>& top, const nlohmann::json& data,
                        const std::string& vin) {
  std::int64_t vehicleId = vehicleIdOf(data);
  std::string name = textOr(data, "name");
  std::string bleName = textOr(data, "bleName");
  std::string userName = textOr(data, "userName");
  platform::foundation::ConsoleLog::write("获取到的数据：vehicleId=" + std::to_string(vehicleId) +
                                          ", vehicleName=" + name + ", bleName=" + bleName +
                                          ", userName=" + userName);
  LogUtil::i("打开控制页面，VIN: " + vin + ", 车辆ID: " + std::to_string(vehicleId), kTag);
  LumoSdk::setLandspace(true);
  recorder::SessionRecorder::rememberVin(vehicleId, vin);
  auto page = LumoControlPage::make(vehicleId, name, bleName, userName);
  if (std::dynamic_pointer_cast<ui::NavigationController>(top)) {
    page->setModalPresentationStyle(ui::ModalPresentationStyle::fullScreen);
    top->present(page, true);
    return;
  }
  auto navigation = ui::NavigationController::make(page);
  navigation->setModalPresentationStyle(ui::ModalPresentationStyle::fullScreen);
  top->present(navigation, true);
}

}  // namespace

void LumoSdk::openControlPage(const std::optional<std::string>& vin) {
  if (!checkInitialized()) return;
  if (!vin || vin->empty()) {
    DialogUtil::showToast("无效的VIN码");
    return;
  }
  std::string url = lumoBaseUrl(currentEnvironment()) + "/oper_sdk/operate_info";
  nlohmann::json body = {{"vin", *vin}, {"operatorId", "operatorId"}, {"permission", "W"}};
  auto top = ContextUtil::getTopViewController();
  if (!top) {
    DialogUtil::showToast("无法获取当前视图控制器");
    return;
  }
  NetworkUtil::post(top, url, std::move(body), true, "正在获取车辆信息",
                    [top, vin = *vin](const NetworkUtil::Result& result) {
                      if (!result.isSuccess()) {
                        std::string error = result.error()->debugDescription();
                        platform::foundation::ConsoleLog::write("获取车辆信息失败: " + error);
                        LogUtil::e("打开控制页面失败: " + error, kTag);
                        DialogUtil::showToast("获取车辆信息失败: " + error);
                        return;
                      }
                      const nlohmann::json& envelope = result.envelope();
                      auto code = envelope.find("code");
                      auto data = envelope.find("data");
                      if (code != envelope.end() && code->is_number_integer() && *code == 0 &&
                          data != envelope.end() && data->is_object()) {
                        presentControlPage(top, *data, vin);
                        return;
                      }
                      auto msg = envelope.find("msg");
                      std::string message =
                          (msg != envelope.end() && msg->is_string()) ? msg->get<std::string>() : "API响应异常";
                      platform::foundation::ConsoleLog::write("API响应异常: " + message);
                      LogUtil::e("打开控制页面失败，API错误: " + message, kTag);
                      DialogUtil::showToast("获取车辆信息失败: " + message);
                    });
}

}  // namespace lumo
