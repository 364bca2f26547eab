#pragma once

#include <memory>
#include <string>

#include "platform/PlatformExport.h"
#include "platform/dispatch/MainLoop.h"

namespace platform::dispatch {

enum class QualityOfService { background, utility, unspecified, defaultClass, userInitiated, userInteractive };

// GCD's queue: serial or concurrent (with barrier blocks), backed by a shared, growing pool
// of worker threads. The main queue runs its blocks on the main loop.
class LUMO_PLATFORM_EXPORT DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { serial, concurrent, main };

  static std::shared_ptr<DispatchQueue> main();
  // The global concurrent queue of a quality class (one per class, never destroyed).
  static std::shared_ptr<DispatchQueue> global(QualityOfService qos = QualityOfService::defaultClass);
  static std::shared_ptr<DispatchQueue> makeSerial(std::string label,
                                                   QualityOfService qos = QualityOfService::defaultClass);
  static std::shared_ptr<DispatchQueue> makeConcurrent(std::string label,
                                                       QualityOfService qos = QualityOfService::defaultClass);

  virtual ~DispatchQueue() = default;

  virtual void async(Block block) = 0;
  // On a concurrent queue: runs alone, after every earlier block and before every later one.
  // On a serial or the main queue it is a plain async.
  virtual void asyncBarrier(Block block) = 0;
  // Runs the block and returns after it ran. Calling sync on the queue the caller already runs
  // on runs the block inline (where GCD would deadlock).
  void sync(Block block);
  void syncBarrier(Block block);
  // Queues the block after `delay` of clock time.
  void asyncAfter(Seconds delay, Block block);

  // Whether the calling thread is running a block of this queue right now.
  bool isCurrent() const;

  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }
  QualityOfService qos() const { return qos_; }

 protected:
  DispatchQueue(std::string label, Kind kind, QualityOfService qos)
      : label_(std::move(label)), kind_(kind), qos_(qos) {}

 private:
  std::string label_;
  Kind kind_;
  QualityOfService qos_;
};

}  // namespace platform::dispatch
