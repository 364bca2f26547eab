#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo/app/FormState.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TextField.h"

namespace demo {

// The host's form screen as a grouped list: "SDK参数" (AppKey, UserToken), "车辆信息" (VIN),
// "状态" (the SDK status line), then one button per SDK operation. Each button calls one
// public operation of LumoSdk with what the fields hold at that moment; the initialisation
// outcomes land in the status line and in the notice alert (shown by the hosting controller).
class ContentView : public platform::ui::ScrollView {
 public:
  static std::shared_ptr<ContentView> make();

  const FormState& state() const { return state_; }
  // The OK button of the notice alert.
  void dismissAlert();
  // Runs after every change of the state (field edits and initialisation outcomes).
  std::function<void()> onStateChanged;

  // The button titled `title`, or none (this form may not offer it).
  std::shared_ptr<platform::ui::Button> button(const std::string& title) const;
  // The text field of the row labelled `label` ("AppKey", "UserToken", "VIN").
  std::shared_ptr<platform::ui::TextField> textField(const std::string& label) const;
  std::shared_ptr<platform::ui::Label> statusLabel() const { return status_; }

  void layoutSubviews() override;

  explicit ContentView(bool offersNewController = true);

 protected:
  // Builds the rows; callbacks hold the view weakly, so it needs a shared owner first.
  void build();

 private:
  struct Row {
    std::shared_ptr<platform::ui::View> view;
    bool startsSection = false;
  };
  struct Section {
    std::shared_ptr<platform::ui::Label> header;
    std::shared_ptr<platform::ui::View> card;
    std::vector<std::shared_ptr<platform::ui::View>> rows;
  };
  Section& addSection(const std::string& header);
  void addFieldRow(Section& section, const std::string& label, std::string FormState::*field);
  void addButtonRow(Section& section, const std::string& title, std::function<void()> action);
  void setOutcome(const std::string& status, const std::string& message);
  void changed();

  void initialiseSdk();
  void openNewController();
  void requestNewWindow();

  bool offersNewController_;
  FormState state_;
  std::vector<Section> sections_;
  std::vector<std::pair<std::string, std::shared_ptr<platform::ui::TextField>>> fields_;
  std::vector<std::shared_ptr<platform::ui::Button>> buttons_;
  std::shared_ptr<platform::ui::Label> status_;
};

}  // namespace demo
