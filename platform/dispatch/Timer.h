#pragma once

#include <functional>
#include <memory>

#include "platform/PlatformExport.h"
#include "platform/dispatch/MainLoop.h"

namespace platform::dispatch {

// The run loop's timer (NSTimer): fires its handler on the main thread. The scheduler keeps
// it alive while it is valid, so owners may hold it weakly.
class LUMO_PLATFORM_EXPORT Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Handler = std::function<void(Timer&)>;
  static std::shared_ptr<Timer> scheduled(Seconds interval, bool repeats, Handler handler);
  ~Timer();

  void invalidate();
  bool isValid() const;
  // Runs the handler now; a one-shot timer is then invalid (NSTimer's fire).
  void fire();
  Seconds interval() const { return interval_; }
  bool repeats() const { return repeats_; }

  struct State;

 private:
  Timer(Seconds interval, bool repeats, Handler handler);
  std::shared_ptr<State> state_;
  Seconds interval_;
  bool repeats_;
};

}  // namespace platform::dispatch
