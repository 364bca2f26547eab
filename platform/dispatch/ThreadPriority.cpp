#include "platform/dispatch/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace platform::dispatch {
namespace {

// Above every normal thread, well below the kernel's own real-time threads.
constexpr int kRealTimePriority = 10;
constexpr int kRaisedNice = -10;

bool setRealTime(const ThreadPriority::Thread& thread, int policy, int value) {
  sched_param param{};
  param.sched_priority = value;
  return ::pthread_setschedparam(thread.handle, policy, &param) == 0;
}

// Linux keeps nice per thread: PRIO_PROCESS with the thread's id changes only that thread.
bool setNice(const ThreadPriority::Thread& thread, int value) {
  sched_param param{};
  if (::pthread_setschedparam(thread.handle, SCHED_OTHER, &param) != 0) return false;
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread.id), value) == 0;
}

}  // namespace

ThreadPriority::Thread ThreadPriority::Thread::current() { return {::pthread_self(), ::gettid()}; }

std::string ThreadPriority::describe() const {
  switch (kind) {
    case Kind::realTime:
      return std::string(policy == SCHED_FIFO ? "SCHED_FIFO" : "SCHED_RR") + " priority " + std::to_string(value);
    case Kind::raisedNice: return "nice " + std::to_string(value);
    case Kind::normal: break;
  }
  return "normal priority";
}

ThreadPriority ThreadPriority::raiseCurrentThread() {
  Thread self = Thread::current();
  for (int policy : {SCHED_FIFO, SCHED_RR}) {
    if (setRealTime(self, policy, kRealTimePriority)) return {Kind::realTime, policy, kRealTimePriority};
  }
  if (setNice(self, kRaisedNice)) return {Kind::raisedNice, SCHED_OTHER, kRaisedNice};
  return of(self);
}

bool ThreadPriority::applyToCurrentThread(const ThreadPriority& priority) { return applyTo(Thread::current(), priority); }

ThreadPriority ThreadPriority::of(const Thread& thread) {
  int policy = SCHED_OTHER;
  sched_param param{};
  ::pthread_getschedparam(thread.handle, &policy, &param);
  if (policy == SCHED_FIFO || policy == SCHED_RR) return {Kind::realTime, policy, param.sched_priority};
  errno = 0;
  int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread.id));
  if (errno != 0) nice = 0;
  return {nice < 0 ? Kind::raisedNice : Kind::normal, SCHED_OTHER, nice};
}

bool ThreadPriority::applyTo(const Thread& thread, const ThreadPriority& priority) {
  if (priority.kind == Kind::realTime) return setRealTime(thread, priority.policy, priority.value);
  return setNice(thread, priority.value);
}

}  // namespace platform::dispatch
