#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumosdk/LumoExport.h"
#include "platform/dispatch/Timer.h"
#include "platform/ui/ViewController.h"

namespace platform::ui {
class Button;
class ImageView;
class Label;
class ScrollView;
}  // namespace platform::ui

namespace lumo {

/// One vehicle at a glance: its name, VIN and cabinet-door state, polled from the backend
/// every 5 s while the page is on screen, and a grid of nine functions of which the remote
/// control and the cabinet door work. LumoSdk::openDetailPage shows it; the VIN comes from the
/// preferences key "EXTRA_DATA_VIN". Main thread only.
class LUMO_EXPORT LumoDetailPage : public platform::ui::ViewController {
 public:
  /// The preferences key under which LumoSdk::openDetailPage leaves the VIN for the page.
  static constexpr const char* kVinPreferenceKey = "EXTRA_DATA_VIN";
  /// Seconds between two requests for the vehicle's information.
  static constexpr double POLLING_INTERVAL = 5.0;
  /// Items in the function grid.
  static constexpr int FUNCTION_COUNT = 9;

  /// A page for the VIN in the preferences; LumoSdk::openDetailPage makes and shows it.
  LumoDetailPage();
  /// Stops polling.
  ~LumoDetailPage() override;

  /// Reads the VIN, builds the title bar, the information card and the grid, asks for the
  /// vehicle's information and polls every POLLING_INTERVAL seconds. Without a VIN it shows the
  /// toast "无效的车辆信息" and leaves the navigation stack.
  void viewDidLoad() override;
  /// Hides the navigation bar: the page draws its own title bar.
  void viewWillAppear(bool animated) override;
  /// Shows the navigation bar again and stops polling.
  void viewWillDisappear(bool animated) override;
  /// Lays the page out for the current size.
  void viewWillLayoutSubviews() override;

  /// Asks the backend for the vehicle's name and door state once.
  void loadInfo();
  /// The title bar's back button.
  void backButtonTapped();
  /// A tap on grid item `index` (its view's tag).
  void handleItemClick(int index);

  /// The VIN the page shows; empty when the preferences held none.
  const std::string& vin() const { return vin_; }
  /// Whether the polling timer runs.
  bool isPolling() const { return timer_ && timer_->isValid(); }
  /// Seconds between two requests.
  double pollingInterval() const { return pollingInterval_; }

 private:
  void buildViews();
  void buildTitleBar();
  void buildInfoCard();
  void buildGrid();
  void rebuildPageConstraints();
  void stopPolling();
  void applyInfo(std::uint64_t request, bool success, const std::string& error, const nlohmann::json& envelope);

  std::string vin_;
  std::shared_ptr<platform::ui::View> titleBar_;
  std::shared_ptr<platform::ui::Label> titleLabel_;
  std::shared_ptr<platform::ui::Button> backButton_;
  std::shared_ptr<platform::ui::View> titleBarDivider_;
  std::shared_ptr<platform::ui::ScrollView> scrollView_;
  std::shared_ptr<platform::ui::View> contentView_;
  std::shared_ptr<platform::ui::View> infoContainer_;
  std::shared_ptr<platform::ui::ImageView> vehicleImageView_;
  std::shared_ptr<platform::ui::Label> vehicleNameLabel_;
  std::shared_ptr<platform::ui::Label> vinLabel_;
  std::shared_ptr<platform::ui::Label> cabinetStatusLabel_;
  std::shared_ptr<platform::ui::View> infoContainerDivider_;
  std::shared_ptr<platform::ui::Label> functionsTitle_;
  std::shared_ptr<platform::ui::View> gridContainerView_;
  std::vector<std::shared_ptr<platform::ui::View>> gridItemContainers_;
  std::vector<std::shared_ptr<platform::ui::ImageView>> gridItemIcons_;
  std::vector<std::shared_ptr<platform::ui::Label>> gridItemLabels_;
  std::vector<std::shared_ptr<platform::ui::View>> gridVerticalLines_;
  std::vector<std::shared_ptr<platform::ui::View>> gridHorizontalLines_;
  platform::ui::ConstraintList activeConstraints_;
  const std::vector<std::string> functionNames_;
  const std::vector<bool> enableList_;
  const std::vector<std::string> iconNames_;
  std::shared_ptr<platform::dispatch::Timer> timer_;
  const double pollingInterval_ = POLLING_INTERVAL;
  /// Polls may overlap and answer out of order: each carries its number, and an answer
  /// older than the one last shown is dropped so an old door state never replaces a new one.
  std::uint64_t requestsSent_ = 0;
  std::uint64_t lastApplied_ = 0;
};

}  // namespace lumo
