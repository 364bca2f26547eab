#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/dispatch/Clock.h"

namespace sim {

// A scripted answer for the next request to one endpoint, in place of the normal one.
struct BackendReply {
  enum class Kind {
    envelope,           // `envelope` as JSON with `httpStatus`
    rawBody,            // `rawBody` verbatim (garbage, an array, a scalar...)
    undecryptableData,  // code 0 whose "data" holds "str" that no key decrypts
    dropConnection,     // headers and part of the body, then the connection closes
    service,            // the service's normal answer (with after() or trickled())
  };

  static BackendReply code(int code, std::string msg = {});
  static BackendReply envelopeWith(nlohmann::json envelope, int httpStatus = 200);
  static BackendReply raw(std::string body, int httpStatus = 200);
  static BackendReply undecryptable();
  static BackendReply drop();
  static BackendReply service();
  // The answer leaves after `realDelay` of real time (the transfer is real I/O).
  BackendReply after(platform::dispatch::Seconds realDelay) &&;
  // The body leaves in small pieces spread over `realDuration` of real time: a slow link that
  // never stalls for long.
  BackendReply trickled(platform::dispatch::Seconds realDuration) &&;
  // The body leaves one byte every `realInterval`: a server that keeps a transfer alive
  // without ever finishing it in reasonable time.
  BackendReply dripped(platform::dispatch::Seconds realInterval) &&;

  Kind kind = Kind::envelope;
  nlohmann::json envelope = nlohmann::json::object();
  std::string rawBody;
  int httpStatus = 200;
  platform::dispatch::Seconds delay{0};
  platform::dispatch::Seconds trickle{0};
  platform::dispatch::Seconds drip{0};
};

}  // namespace sim
