#include "platform/dispatch/MainLoop.h"

#include <thread>

#include "platform/dispatch/TimeKeeper.h"
#include "platform/foundation/SystemLog.h"

namespace platform::dispatch {
namespace {

using detail::TimeKeeper;

// Static initialisation runs on the process's initial thread, which is the main thread.
const std::thread::id kMainThreadId = std::this_thread::get_id();

bool refuseOffMain(const char* operation) {
  if (MainLoop::isMainThread()) return false;
  foundation::SystemLog::fault(std::string("MainLoop::") + operation + " called off the main thread; ignored");
  return true;
}

MonoTime endAfter(Seconds duration) {
  return TimeKeeper::instance().clock().now() +
         detail::toMono(duration);
}

}  // namespace

void MainLoop::post(Block block) { TimeKeeper::instance().postMain(std::move(block)); }

void MainLoop::run() {
  if (refuseOffMain("run")) return;
  TimeKeeper::instance().runMainLoop(nullptr, std::nullopt);
}

void MainLoop::runFor(Seconds duration) {
  if (refuseOffMain("runFor")) return;
  TimeKeeper::instance().runMainLoop(nullptr, endAfter(duration));
}

bool MainLoop::runUntil(const std::function<bool()>& condition, Seconds timeLimit) {
  if (refuseOffMain("runUntil")) return false;
  return TimeKeeper::instance().runMainLoop(&condition, endAfter(timeLimit));
}

void MainLoop::drain() {
  if (refuseOffMain("drain")) return;
  auto& keeper = TimeKeeper::instance();
  while (auto block = keeper.takeMain()) (*block)();
}

void MainLoop::stop() { TimeKeeper::instance().stopMainLoop(); }

std::optional<MonoTime> MainLoop::nextStrictTimerDue() { return TimeKeeper::instance().nextStrictDue(); }

void MainLoop::postAfterStrictTimer(Block block) { TimeKeeper::instance().postMainAfterStrict(std::move(block)); }

bool MainLoop::isMainThread() { return std::this_thread::get_id() == kMainThreadId; }

void MainLoop::setWaiter(std::shared_ptr<MainLoopWaiter> waiter) { TimeKeeper::instance().setWaiter(std::move(waiter)); }

}  // namespace platform::dispatch
