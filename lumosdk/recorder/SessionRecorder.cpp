#include "lumosdk/recorder/SessionRecorder.h"

#include <map>
#include <mutex>
#include <vector>

#include "lumosdk/recorder/SessionEvents.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::recorder {

using platform::dispatch::DispatchQueue;
using platform::dispatch::Seconds;

namespace {

constexpr Seconds kDrainInterval{0.25};

std::atomic<bool> enabled{true};
std::atomic<int> unfinished{0};

// One writer queue for every recording: a session's close and the next one's open keep
// their order.
const std::shared_ptr<DispatchQueue>& writerQueue() {
  static const auto queue = DispatchQueue::makeSerial("lumo.recorder", platform::dispatch::QualityOfService::utility);
  return queue;
}

std::int64_t nowNs() { return platform::dispatch::Scheduler::clock().now().count(); }

}  // namespace

struct SessionRecorder::Shared : std::enable_shared_from_this<Shared> {
  explicit Shared(SessionStart start) : file(std::move(start)) {
    pending.reserve(kCapacity);
    taking.reserve(kCapacity);
  }

  // Handed over between the main thread and the writer queue.
  std::mutex mutex;
  std::vector<SessionEvent> pending;
  std::vector<std::string> texts;
  std::uint64_t dropped = 0;
  bool endRequested = false;
  std::int64_t endAt = 0;
  std::string endReason, endText;

  // The writer queue's own.
  std::vector<SessionEvent> taking;
  std::vector<std::string> takingTexts;
  SessionFile file;
  bool opened = false;
  bool reported = false;
  std::uint64_t droppedTotal = 0;

  void reportFailure() {
    if (reported || !file.failed()) return;
    reported = true;
    platform::foundation::SystemLog::error("recorder: this session is not recorded: " + file.failure());
  }

  // Writer queue: opens the file on the first turn, then writes what the main thread handed
  // over, and closes the file once the session has ended. The next turn is asked for only
  // when this one is done: a writer stuck on its disk has no turns piling up behind it, and
  // the main thread never queues work that would wait for one.
  void drain() {
    if (!opened) {
      opened = true;
      file.open();
    }
    bool ending = false;
    std::int64_t at = 0;
    std::string reason, text;
    {
      std::lock_guard lock(mutex);
      pending.swap(taking);
      texts.swap(takingTexts);
      droppedTotal += dropped;
      dropped = 0;
      ending = endRequested;
      at = endAt;
      reason = endReason;
      text = endText;
    }
    if (!file.failed()) {
      for (const auto& event : taking) file.write(event, takingTexts);
      file.flush();
    }
    taking.clear();
    takingTexts.clear();
    if (ending) {
      file.writeEnd(at, reason, text, droppedTotal);
      file.close();
    }
    reportFailure();
    if (ending) {
      --unfinished;
      return;
    }
    writerQueue()->asyncAfter(kDrainInterval, [self = shared_from_this()] { self->drain(); });
  }
};

std::shared_ptr<SessionRecorder> SessionRecorder::start(SessionStart start) {
  if (!enabled.load()) return nullptr;
  auto shared = std::make_shared<Shared>(std::move(start));
  ++unfinished;
  writerQueue()->async([shared] { shared->drain(); });
  return std::make_shared<SessionRecorder>(shared);
}

SessionRecorder::SessionRecorder(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

SessionRecorder::~SessionRecorder() { end("left", ""); }

void SessionRecorder::record(const SessionEvent& event) {
  if (ended_) return;
  std::lock_guard lock(shared_->mutex);
  // Full: the newest events are the ones lost, and the end message counts them.
  if (shared_->pending.size() >= kCapacity) {
    ++shared_->dropped;
    return;
  }
  shared_->pending.push_back(event);
}

void SessionRecorder::recordUi(UiKind kind, UiAction action, std::string_view text) {
  if (ended_) return;
  SessionEvent event;
  event.kind = EventKind::ui;
  event.monotonicNs = nowNs();
  event.ui = {kind, action, 0};
  std::lock_guard lock(shared_->mutex);
  if (shared_->pending.size() >= kCapacity) {
    ++shared_->dropped;
    return;
  }
  event.ui.textIndex = static_cast<std::uint32_t>(shared_->texts.size());
  shared_->texts.emplace_back(text);
  shared_->pending.push_back(event);
}

void SessionRecorder::end(std::string_view reason, std::string_view text) {
  if (ended_) return;
  ended_ = true;
  SessionEvents::clearActive(this);
  // Taken up by the writer's next turn, whatever it is busy with now.
  std::lock_guard lock(shared_->mutex);
  shared_->endRequested = true;
  shared_->endAt = nowNs();
  shared_->endReason = reason;
  shared_->endText = text;
}

void SessionRecorder::setEnabled(bool on) { enabled.store(on); }

bool SessionRecorder::isEnabled() { return enabled.load(); }

int SessionRecorder::unfinishedCount() { return unfinished.load(); }

namespace {
std::map<std::int64_t, std::string>& vins() {
  static std::map<std::int64_t, std::string> byVehicle;
  return byVehicle;
}
}  // namespace

void SessionRecorder::rememberVin(std::int64_t vehicleId, std::string vin) { vins()[vehicleId] = std::move(vin); }

std::string SessionRecorder::vinOf(std::int64_t vehicleId) {
  auto it = vins().find(vehicleId);
  return it == vins().end() ? std::string() : it->second;
}

}  // namespace lumo::recorder
