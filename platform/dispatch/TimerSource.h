#pragma once

#include <memory>

#include "platform/PlatformExport.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform::dispatch {

// GCD's timer source: fires its handler on its queue at a deadline and then every interval.
// Created suspended: schedule() and setEventHandler(), then resume(). cancel() stops it for
// good; a handler already queued when cancel() runs is skipped.
//
// A strict source (GCD's .strict) is one whose moments matter: in real time it fires from a
// raised-priority thread that sleeps to each absolute deadline, and on the main queue its
// handler runs ahead of ordinary blocks already waiting there.
class LUMO_PLATFORM_EXPORT TimerSource : public std::enable_shared_from_this<TimerSource> {
 public:
  enum class Flags { none, strict };
  static std::shared_ptr<TimerSource> make(std::shared_ptr<DispatchQueue> queue);
  static std::shared_ptr<TimerSource> make(std::shared_ptr<DispatchQueue> queue, Flags flags);
  ~TimerSource();

  // First fire `deadline` from now, then every `interval` (zero = once).
  void schedule(Seconds deadline, Seconds interval = Seconds{0});
  void setEventHandler(Block handler);
  void resume();
  void cancel();
  bool isCancelled() const;

  struct State;

 private:
  explicit TimerSource(std::shared_ptr<DispatchQueue> queue);
  std::shared_ptr<State> state_;
};

}  // namespace platform::dispatch
