// The backend's answers as the SDK's operations meet them: any bytes as the HTTP body of the
// registration, the cabinet door, the detail page's poll, the control page's data and the log
// upload. Only an envelope whose code says so counts as success; a refused answer reports
// failure to its caller and changes nothing.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/UrlSession.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::LumoSdk;
using lumo::fuzz::require;
using nlohmann::json;
using platform::dispatch::MainLoop;
using namespace std::chrono_literals;

constexpr const char* kVin = "LFUZZ000000000001";
constexpr const char* kAuthExpired = "授权已过期";

constexpr const char* kResetInfo = R"({"code":0,"data":{"name":"RESET","cabinetLocked":true}})";

// The body the backend gives to `path`; every other path gets a plain success.
struct Backend {
  std::mutex mutex;
  std::string path;
  std::string body;
};

Backend& backend() {
  static auto* made = new Backend;
  return *made;
}

struct Host {
  std::shared_ptr<platform::ui::WindowScene> scene;
  std::shared_ptr<platform::ui::Window> window;
  std::shared_ptr<platform::ui::ViewController> root;
};

std::vector<std::shared_ptr<platform::ui::View>> allViews(const std::shared_ptr<platform::ui::View>& top) {
  std::vector<std::shared_ptr<platform::ui::View>> found;
  std::function<void(const std::shared_ptr<platform::ui::View>&)> walk = [&](const auto& view) {
    found.push_back(view);
    for (const auto& child : view->subviews()) walk(child);
  };
  if (top) walk(top);
  return found;
}

// A visible label whose text starts with `prefix`.
std::shared_ptr<platform::ui::Label> labelStartingWith(const Host& host, const std::string& prefix) {
  for (const auto& view : allViews(host.window)) {
    auto label = std::dynamic_pointer_cast<platform::ui::Label>(view);
    if (label && !label->isHidden() && label->text().rfind(prefix, 0) == 0) return label;
  }
  return nullptr;
}

std::shared_ptr<platform::ui::Button> buttonTitled(const Host& host, const std::string& title) {
  for (const auto& view : allViews(host.window)) {
    auto button = std::dynamic_pointer_cast<platform::ui::Button>(view);
    if (button && button->title() == title) return button;
  }
  return nullptr;
}

bool runUntil(const std::function<bool()>& condition) { return MainLoop::runUntil(condition, 10s); }

// A host window and an SDK registered against the in-process backend.
Host& host() {
  static Host* made = [] {
    lumo::fuzz::quietSandbox();
    platform::dispatch::Scheduler::useVirtualClock();
    platform::ble::Radio::useSimulatedRadio();
    platform::net::UrlSession::setResponder([](const platform::net::UrlRequest& request) {
      Backend& b = backend();
      std::lock_guard lock(b.mutex);
      const std::string& url = request.url.text();
      bool asked = !b.path.empty() && url.size() >= b.path.size() &&
                   url.compare(url.size() - b.path.size(), b.path.size(), b.path) == 0;
      return std::optional<platform::net::UrlResponse>({200, asked ? b.body : std::string(R"({"code":0})")});
    });
    auto* h = new Host;
    h->scene = platform::ui::Application::shared().connectScene();
    h->window = platform::ui::Window::make(h->scene);
    h->root = platform::ui::ViewController::make();
    h->window->setRootViewController(h->root);
    h->window->makeKeyAndVisible();
    return h;
  }();
  return *made;
}

// What the client makes of a body: no JSON object or an expired authorisation is a failure;
// every other object is a success, and only code 0 an acceptance.
struct Verdict {
  bool success = false;
  bool accepted = false;
  bool authExpired = false;
  json envelope;
};

Verdict judge(const std::string& body) {
  Verdict verdict;
  json parsed = json::parse(body, nullptr, false);
  if (!parsed.is_object()) return verdict;
  auto code = parsed.find("code");
  bool integer = code != parsed.end() && code->is_number_integer();
  verdict.authExpired = integer && *code == 1001;
  verdict.success = !verdict.authExpired;
  verdict.accepted = integer && *code == 0;
  verdict.envelope = parsed;
  return verdict;
}

void answer(const std::string& path, const std::string& body) {
  std::lock_guard lock(backend().mutex);
  backend().path = path;
  backend().body = body;
}

void registration(const std::string& body, const Verdict& verdict) {
  LumoSdk::resetForTesting();
  LumoSdk::setDevelopmentBackend("https://backend.fuzz.invalid");
  auto before = lumo::logging::LoggerState::shared().userInfo();
  answer("/oper_sdk/init", body);
  int successes = 0, authExpiries = 0;
  std::vector<std::string> errors;
  LumoSdk::initSdk(
      "fuzz-app-key", "fuzz-token", lumo::LumoEnvironment::development, true, [&] { ++successes; },
      [&] { ++authExpiries; }, [&](const std::string& message) { errors.push_back(message); });
  require(runUntil([&] { return successes > 0 || !errors.empty(); }), "the registration ends in a callback");
  MainLoop::runFor(1s);
  require(LumoSdk::isInitialized() == verdict.success, "only a successful answer completes the registration");
  require(successes == (verdict.success ? 1 : 0), "onSuccess exactly for a successful answer");
  if (verdict.success) {
    require(errors.empty() && authExpiries == 0, "a success reports nothing else");
    auto data = verdict.envelope.find("data");
    if (verdict.accepted && data != verdict.envelope.end() && data->is_object()) {
      require(lumo::logging::LoggerState::shared().userInfo() == *data, "the user facts are kept for uploads");
    }
    return;
  }
  require(lumo::logging::LoggerState::shared().userInfo() == before, "a refused registration keeps no user facts");
  if (verdict.authExpired) {
    require(authExpiries == 1 && errors == std::vector<std::string>{kAuthExpired},
            "an expired authorisation is reported, then its message");
  } else {
    require(authExpiries == 0 && errors.size() == 1, "a broken answer is one error");
  }
}

void registerOnce() {
  if (LumoSdk::isInitialized()) return;
  answer("", "");
  bool ready = false;
  LumoSdk::initSdk("fuzz-app-key", "fuzz-token", lumo::LumoEnvironment::development, true, [&] { ready = true; });
  require(runUntil([&] { return ready; }), "the SDK registers");
  MainLoop::runFor(1s);
}

void cabinet(const Host& h, const std::string& body, const Verdict& verdict) {
  registerOnce();
  answer("/oper_sdk/open_cabinet", body);
  int opened = 0;
  LumoSdk::openCabinetWithCallback(kVin, [&opened] { ++opened; });
  std::shared_ptr<platform::ui::Button> confirm;
  require(runUntil([&] { return (confirm = buttonTitled(h, "确定")) != nullptr; }), "the confirmation shows");
  MainLoop::runFor(500ms);  // its animation ends
  auto frame = confirm->convertRectTo(confirm->bounds(), nullptr);
  h.window->tap(frame.center());
  require(runUntil([&] { return labelStartingWith(h, "操作") != nullptr; }), "the outcome is shown");
  bool saidDone = labelStartingWith(h, "操作成功") != nullptr;
  require(opened == (verdict.accepted ? 1 : 0), "only an accepted request counts as opened");
  require(saidDone == verdict.accepted, "only an accepted request tells the user it is done");
  MainLoop::runFor(5s);  // toast and dialog gone
  require(labelStartingWith(h, "操作") == nullptr && buttonTitled(h, "确定") == nullptr, "the screen is clear again");
}

// The detail page, opened over the host for one input: it polls only until it first
// disappears (a control page over it would end the polling for good).
std::shared_ptr<lumo::LumoDetailPage> openDetailPage(const Host& h) {
  auto find = [&h]() -> std::shared_ptr<lumo::LumoDetailPage> {
    auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(h.root->presentedViewController());
    if (!navigation) return nullptr;
    for (const auto& child : navigation->viewControllers()) {
      if (auto page = std::dynamic_pointer_cast<lumo::LumoDetailPage>(child)) return page;
    }
    return nullptr;
  };
  registerOnce();
  LumoSdk::openDetailPage(kVin);
  std::shared_ptr<lumo::LumoDetailPage> page;
  require(runUntil([&] { return (page = find()) != nullptr; }), "the detail page opens");
  MainLoop::runFor(6s);  // its first poll and wait dialog are over
  return page;
}

std::vector<std::string> labelTexts(const std::shared_ptr<platform::ui::View>& top) {
  std::vector<std::string> texts;
  for (const auto& view : allViews(top)) {
    if (auto label = std::dynamic_pointer_cast<platform::ui::Label>(view)) texts.push_back(label->text());
  }
  return texts;
}

bool showsText(const std::shared_ptr<platform::ui::View>& top, const std::string& text) {
  auto texts = labelTexts(top);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// One poll of the page answered with `body`: the poll runs every 5 s, and an answer asked
// for at the end of the window is applied in the short tail (later polls get a plain success).
void poll(const std::string& body) {
  answer("/oper_sdk/vehicle_info", body);
  MainLoop::runFor(5s);
  answer("", "");
  MainLoop::runFor(100ms);
}

void vehicleInfo(const Host& h, const std::string& body, const Verdict& verdict) {
  auto page = openDetailPage(h);
  struct Close {
    const Host& h;
    ~Close() {
      h.root->dismiss(false);
      MainLoop::runFor(1s);
    }
  } close{h};
  poll(kResetInfo);
  require(showsText(page->view(), "RESET") && showsText(page->view(), "车门已锁定"), "the page shows a known state");
  auto before = labelTexts(page->view());
  poll(body);
  auto data = verdict.envelope.find("data");
  if (!verdict.accepted || data == verdict.envelope.end() || !data->is_object()) {
    require(labelTexts(page->view()) == before, "a refused answer changes nothing on the page");
    return;
  }
  auto name = data->find("name");
  bool named = name != data->end() && name->is_string() && !name->get<std::string>().empty();
  require(showsText(page->view(), named ? name->get<std::string>() : "RESET"), "the title is the answer's name");
  auto locked = data->find("cabinetLocked");
  bool unlocked = locked != data->end() && locked->is_boolean() && !locked->get<bool>();
  require(showsText(page->view(), unlocked ? "车门未锁定" : "车门已锁定"), "the door state is the answer's");
}

// The control page presented anywhere above the host's root, if any.
std::shared_ptr<lumo::LumoControlPage> controlPage(const Host& h) {
  for (auto shown = h.root->presentedViewController(); shown; shown = shown->presentedViewController()) {
    if (auto page = std::dynamic_pointer_cast<lumo::LumoControlPage>(shown)) return page;
    if (auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(shown)) {
      for (const auto& child : navigation->viewControllers()) {
        if (auto page = std::dynamic_pointer_cast<lumo::LumoControlPage>(child)) return page;
      }
    }
  }
  return nullptr;
}

void operateInfo(const Host& h, const std::string& body, const Verdict& verdict) {
  registerOnce();
  answer("/oper_sdk/operate_info", body);
  LumoSdk::openControlPage(std::string(kVin));
  require(runUntil([&] { return controlPage(h) != nullptr || labelStartingWith(h, "获取车辆信息失败: ") != nullptr; }),
          "the control data ends in the page or a message");
  auto data = verdict.envelope.find("data");
  bool expected = verdict.accepted && data != verdict.envelope.end() && data->is_object();
  auto page = controlPage(h);
  require((page != nullptr) == expected, "only accepted control data opens the control page");
  require(LumoSdk::landspace() == expected, "landscape is asked for only with the page");
  if (page) {
    MainLoop::runFor(500ms);
    page->exitButtonTapped();
    page.reset();
  }
  MainLoop::runFor(5s);  // the page, its dialogs and the message are gone
  require(controlPage(h) == nullptr && !LumoSdk::landspace(), "the control page is gone and landscape with it");
  answer("", "");
}

void upload(const std::string& body, const Verdict& verdict) {
  registerOnce();
  answer("/app_log/save", body);
  lumo::logging::LogRow row;
  row.id = 1;
  row.tag = "fuzz";
  row.message = "one record";
  std::mutex mutex;
  std::vector<bool> outcomes;
  lumo::logging::LogUploader::sendLogsToServer({row}, [&](bool delivered) {
    std::lock_guard lock(mutex);
    outcomes.push_back(delivered);
  });
  require(runUntil([&] {
            std::lock_guard lock(mutex);
            return !outcomes.empty();
          }),
          "the upload ends");
  MainLoop::runFor(10ms);
  std::lock_guard lock(mutex);
  require(outcomes == std::vector<bool>{verdict.accepted}, "only an accepted upload counts as delivered");
  require(!lumo::logging::LoggerState::shared().isUploading, "the upload flag clears");
}

}  // namespace

// Input: one byte picks the operation, the rest is the body the backend answers with. A
// registration makes a new RSA key (a large part of a second), so it gets one input in eight;
// the cabinet door, the detail page's poll, the control page's data and the log upload share
// the rest.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Host& h = host();
  if (size == 0) return 0;
  std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  Verdict verdict = judge(body);
  int pick = data[0] % 8;
  if (pick == 7) {
    registration(body, verdict);
  } else if (pick % 4 == 0) {
    cabinet(h, body, verdict);
  } else if (pick % 4 == 1) {
    vehicleInfo(h, body, verdict);
  } else if (pick % 4 == 3) {
    operateInfo(h, body, verdict);
  } else {
    upload(body, verdict);
  }
  return 0;
}
