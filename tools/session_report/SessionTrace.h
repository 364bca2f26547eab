#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// Nanoseconds of the SDK's monotonic clock, as the recording stamps its records.
using Nanoseconds = std::int64_t;

// A control session as its recording tells it: plain data, in the order recorded. Each
// list is sorted by time as written; nothing here is derived.
struct SessionTrace {
  struct Start {
    Nanoseconds time = 0;
    std::string vin;
    std::int64_t vehicleId = 0;
    std::string vehicleName;
    std::string bleName;
    std::string sdkVersion;
    std::int64_t wallTimeMs = 0;
  };
  // A control frame as sent; steering is the page's direction angle (-100 left .. 100 right).
  struct ControlFrame {
    Nanoseconds time = 0;
    std::int64_t seq = 0;
    std::string bytes;
    bool enableCmd = false;
    bool antiCollision = false;
    int throttle = 0;
    int brake = 0;
    int steering = 0;
  };
  // A state frame received, with what the page made of it.
  struct StateFrame {
    Nanoseconds time = 0;
    std::string bytes;
    bool accepted = true;
    std::string refusal;  // empty when accepted
    int driveMode = 0;
    bool authority = false;
    std::string safety;   // "unknown", "disabled" or "enabled"
    std::optional<int> delayMs;
  };
  struct Link {
    Nanoseconds time = 0;
    std::string state;
  };
  struct Input {
    Nanoseconds time = 0;
    std::string event;  // "select", "release" or "wheel"
    std::string pad;    // select/release
    double angle = 0;   // wheel
  };
  struct Ui {
    Nanoseconds time = 0;
    std::string kind;    // "dialog", "toast", "wait" or "warning"
    std::string action;  // "show" or "dismiss"
    std::string text;
  };
  struct End {
    Nanoseconds time = 0;
    std::string reason;
    std::string text;
  };
  // Where the readable part of a damaged or unfinished file stops, and why.
  struct Cut {
    std::uint64_t offset = 0;
    std::string why;
  };

  std::optional<Start> start;
  std::vector<ControlFrame> control;
  std::vector<StateFrame> states;
  std::vector<Link> links;
  std::vector<Input> inputs;
  std::vector<Ui> ui;
  std::optional<End> end;
  std::optional<Cut> cut;
  // Whole records that could not be understood (skipped), one line each.
  std::vector<std::string> skipped;

  // The session's zero: its start record, else its earliest record, else 0.
  Nanoseconds origin() const;
  // The latest time any record carries (the origin for an empty trace).
  Nanoseconds last() const;
};

}  // namespace report
