#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "tests/foundation/FoundationTest.h"

namespace lumo::test {
namespace {

using platform::foundation::Notification;
using platform::foundation::NotificationCenter;

TEST_F(FoundationTest, ObserversHearTheirNamesInRegistrationOrder) {
  NotificationCenter center;
  std::vector<std::string> heard;
  center.addObserver("SteeringWheelAnimationCompleted",
                     [&](const Notification& n) { heard.push_back("first:" + n.name); });
  center.addObserver("ButtonModeAnimationCompleted", [&] { heard.push_back("button"); });
  center.addObserver("", [&](const Notification& n) { heard.push_back("any:" + n.name); });
  center.addObserver("SteeringWheelAnimationCompleted", [&](const Notification& n) {
    heard.push_back("second:" + n.userInfo.at("mode"));
  });

  center.post("SteeringWheelAnimationCompleted", {{"mode", "wheel"}});
  EXPECT_EQ(heard, (std::vector<std::string>{"first:SteeringWheelAnimationCompleted",
                                             "any:SteeringWheelAnimationCompleted", "second:wheel"}));
  heard.clear();
  center.post("Unobserved");
  EXPECT_EQ(heard, std::vector<std::string>{"any:Unobserved"});

  // A block may post in turn: no lock is held while it runs.
  heard.clear();
  center.addObserver("ButtonModeAnimationCompleted", [&] { center.post("Nested"); });
  center.post("ButtonModeAnimationCompleted");
  EXPECT_EQ(heard, (std::vector<std::string>{"button", "any:ButtonModeAnimationCompleted", "any:Nested"}));
}

TEST_F(FoundationTest, RemovedObserversStaySilentEvenMidPost) {
  NotificationCenter center;
  std::vector<std::string> heard;
  NotificationCenter::Token second = 0;
  NotificationCenter::Token self = 0;
  NotificationCenter::Token added = 0;

  center.addObserver("tick", [&] {
    heard.push_back("remover");
    center.removeObserver(second);  // a later observer of the same post
    if (added == 0) added = center.addObserver("tick", [&] { heard.push_back("added"); });
  });
  second = center.addObserver("tick", [&] { heard.push_back("second"); });
  self = center.addObserver("tick", [&] {
    heard.push_back("self");
    center.removeObserver(self);
    center.removeObserver(self);  // a second removal is a no-op
  });
  center.addObserver("tick", [&] { heard.push_back("last"); });

  center.post("tick");
  // An observer added during a post first hears the next one.
  EXPECT_EQ(heard, (std::vector<std::string>{"remover", "self", "last"}));
  heard.clear();
  center.post("tick");
  EXPECT_EQ(heard, (std::vector<std::string>{"remover", "last", "added"}));

  heard.clear();
  center.removeObserver(added);
  center.removeObserver(987654);  // unknown tokens are ignored
  center.post("tick");
  EXPECT_EQ(heard, (std::vector<std::string>{"remover", "last"}));
}

TEST_F(FoundationTest, PostsFromManyThreadsReachEveryObserver) {
  NotificationCenter center;
  std::atomic<int> delivered{0};
  center.addObserver("work", [&] { delivered.fetch_add(1); });
  std::atomic<bool> done{false};
  // Meanwhile observers come and go on another thread.
  std::thread churn([&] {
    while (!done) center.removeObserver(center.addObserver("work", [] {}));
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 500; ++i) center.post("work");
    });
  }
  for (auto& poster : posters) poster.join();
  done = true;
  churn.join();
  EXPECT_EQ(delivered.load(), 2000);
}

}  // namespace
}  // namespace lumo::test
