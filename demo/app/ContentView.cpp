#include "demo/app/ContentView.h"

#include <algorithm>

#include "demo/app/NewContentView.h"
#include "demo/app/NewViewController.h"
#include "demo/app/SdkOperations.h"
#include "demo/app/TopViewController.h"
#include "lumosdk/LumoSdk.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"

namespace demo {

using namespace platform::ui;

namespace {

const Color kGroupedBackground = Color::rgb255(242, 242, 247);
const Color kHeaderText = Color::rgb255(109, 109, 114);
const Color kSeparator = Color::rgb255(198, 198, 200);
constexpr double kRowHeight = 44;
constexpr double kMargin = 16;
constexpr double kLabelWidth = 116;
constexpr double kHeaderHeight = 38;
constexpr double kSectionGap = 22;
// Wider screens keep the list at a readable width, centred.
constexpr double kMaxCardWidth = 560;

}  // namespace

std::shared_ptr<ContentView> ContentView::make() {
  auto view = std::make_shared<ContentView>();
  view->build();
  return view;
}

std::shared_ptr<NewContentView> NewContentView::make() {
  auto view = std::make_shared<NewContentView>();
  view->build();
  return view;
}

ContentView::ContentView(bool offersNewController) : offersNewController_(offersNewController) {
  setBackgroundColor(kGroupedBackground);
  alwaysBounceVertical = true;
}

void ContentView::build() {
  Section& parameters = addSection("SDK参数");
  addFieldRow(parameters, "AppKey", &FormState::appKey);
  addFieldRow(parameters, "UserToken", &FormState::userToken);

  Section& vehicle = addSection("车辆信息");
  addFieldRow(vehicle, "VIN", &FormState::vin);

  Section& status = addSection("状态");
  status_ = Label::make();
  status_->setText(state_.sdkStatus);
  status_->setFont(Font::systemFont(17));
  status.rows.push_back(status_);
  status.card->addSubview(status_);

  Section& actions = addSection("");
  std::weak_ptr<ContentView> weak = std::static_pointer_cast<ContentView>(shared_from_this());
  auto on = [weak](void (ContentView::*action)()) {
    return [weak, action] {
      if (auto self = weak.lock()) (self.get()->*action)();
    };
  };
  auto withVin = [weak](void (*operation)(const std::string&)) {
    return [weak, operation] {
      if (auto self = weak.lock()) operation(self->state_.vin);
    };
  };
  addButtonRow(actions, "初始化SDK", on(&ContentView::initialiseSdk));
  addButtonRow(actions, "打开控制页面", withVin(&SdkOperations::openControlPage));
  addButtonRow(actions, "打开详情页面", withVin(&SdkOperations::openDetailPage));
  addButtonRow(actions, "开门", withVin(&SdkOperations::openCabinet));
  if (offersNewController_) addButtonRow(actions, "newController", on(&ContentView::openNewController));
  addButtonRow(actions, "新建窗口", on(&ContentView::requestNewWindow));
  setNeedsLayout();
}

ContentView::Section& ContentView::addSection(const std::string& header) {
  Section section;
  section.header = Label::make();
  section.header->setText(header);
  section.header->setFont(Font::systemFont(13));
  section.header->setTextColor(kHeaderText);
  section.card = View::make();
  section.card->setBackgroundColor(Color::white());
  section.card->layer()->setCornerRadius(10);
  section.card->setClipsToBounds(true);
  addSubview(section.header);
  addSubview(section.card);
  sections_.push_back(std::move(section));
  return sections_.back();
}

void ContentView::addFieldRow(Section& section, const std::string& label, std::string FormState::*field) {
  auto row = View::make();
  auto title = Label::make({kMargin, 0, kLabelWidth - kMargin, kRowHeight});
  title->setText(label);
  title->setFont(Font::systemFont(17));
  row->addSubview(title);

  auto input = TextField::make();
  input->setText(state_.*field);
  input->setPlaceholder(label);
  input->setFont(Font::systemFont(16));
  std::weak_ptr<ContentView> weak = std::static_pointer_cast<ContentView>(shared_from_this());
  std::weak_ptr<TextField> weakInput = input;
  input->addTarget(
      [weak, weakInput, field] {
        auto self = weak.lock();
        auto edited = weakInput.lock();
        if (!self || !edited) return;
        self->state_.*field = edited->text();
        self->changed();
      },
      ControlEvent::editingChanged);
  row->addSubview(input);
  fields_.emplace_back(label, input);
  section.rows.push_back(row);
  section.card->addSubview(row);
}

void ContentView::addButtonRow(Section& section, const std::string& title, std::function<void()> action) {
  auto button = Button::make(Button::Type::system);
  button->setTitle(title);
  button->titleLabel()->setFont(Font::systemFont(17));
  button->addTarget(std::move(action), ControlEvent::touchUpInside);
  buttons_.push_back(button);
  section.rows.push_back(button);
  section.card->addSubview(button);
}

void ContentView::layoutSubviews() {
  ScrollView::layoutSubviews();
  double width = bounds().width();
  double cardWidth = std::min(width - 2 * kMargin, kMaxCardWidth);
  double x = (width - cardWidth) / 2;
  double y = 0;
  for (auto& section : sections_) {
    bool titled = !section.header->text().empty();
    double headerHeight = titled ? kHeaderHeight : kSectionGap;
    section.header->setHidden(!titled);
    section.header->setFrame({x + kMargin, y + headerHeight - 24, cardWidth - 2 * kMargin, 18});
    y += headerHeight;
    double rowY = 0;
    // Separators are rebuilt each pass: the row count is fixed but the width is not.
    for (auto& layer : std::vector(section.card->layer()->sublayers())) layer->removeFromSuperlayer();
    for (std::size_t i = 0; i < section.rows.size(); ++i) {
      const auto& row = section.rows[i];
      if (row == status_) {
        row->setFrame({kMargin, rowY, cardWidth - 2 * kMargin, kRowHeight});
      } else {
        row->setFrame({0, rowY, cardWidth, kRowHeight});
      }
      for (const auto& child : row->subviews()) {
        if (auto input = std::dynamic_pointer_cast<TextField>(child)) {
          input->setFrame({kLabelWidth, 0, cardWidth - kLabelWidth - kMargin, kRowHeight});
        }
      }
      if (i + 1 < section.rows.size()) {
        auto separator = Layer::make();
        separator->setFrame({kMargin, rowY + kRowHeight - 0.5, cardWidth - kMargin, 0.5});
        separator->setBackgroundColor(kSeparator);
        section.card->layer()->addSublayer(separator);
      }
      rowY += kRowHeight;
    }
    section.card->setFrame({x, y, cardWidth, rowY});
    y += rowY;
  }
  setContentSize({width, y + 2 * kMargin});
}

std::shared_ptr<Button> ContentView::button(const std::string& title) const {
  for (const auto& b : buttons_) {
    if (b->title() == title) return b;
  }
  return nullptr;
}

std::shared_ptr<TextField> ContentView::textField(const std::string& label) const {
  for (const auto& [name, field] : fields_) {
    if (name == label) return field;
  }
  return nullptr;
}

void ContentView::dismissAlert() {
  state_.showAlert = false;
  changed();
}

void ContentView::setOutcome(const std::string& status, const std::string& message) {
  state_.sdkStatus = status;
  state_.alertMsg = message;
  state_.showAlert = true;
  status_->setText(status);
  changed();
}

void ContentView::changed() {
  if (onStateChanged) onStateChanged();
}

void ContentView::initialiseSdk() {
  std::weak_ptr<ContentView> weak = std::static_pointer_cast<ContentView>(shared_from_this());
  lumo::LumoSdk::initSdk(
      state_.appKey, state_.userToken, lumo::LumoEnvironment::development, true,
      [weak] {
        if (auto self = weak.lock()) self->setOutcome("初始化成功", "SDK初始化成功");
      },
      [weak] {
        if (auto self = weak.lock()) self->setOutcome("认证过期", "SDK认证过期，请重新登录");
      },
      [weak](const std::string& message) {
        if (auto self = weak.lock()) self->setOutcome("初始化失败", "SDK初始化失败: " + message);
      });
}

void ContentView::openNewController() {
  auto top = topViewController();
  if (!top) return;
  auto controller = std::make_shared<NewViewController>();
  if (auto navigation = top->navigationController()) {
    navigation->pushViewController(controller, true);
    return;
  }
  auto navigation = NavigationController::make(controller);
  navigation->setModalPresentationStyle(ModalPresentationStyle::fullScreen);
  top->present(navigation, true);
}

void ContentView::requestNewWindow() {
  Application::shared().requestSceneSessionActivation([](const std::string& error) {
    platform::foundation::ConsoleLog::write("新建窗口失败: " + error);
  });
}

}  // namespace demo
