#include "sim/backend/BackendReply.h"

namespace sim {

BackendReply BackendReply::code(int code, std::string msg) {
  nlohmann::json envelope = {{"code", code}};
  if (!msg.empty()) envelope["msg"] = std::move(msg);
  return envelopeWith(std::move(envelope));
}

BackendReply BackendReply::envelopeWith(nlohmann::json envelope, int httpStatus) {
  BackendReply reply;
  reply.kind = Kind::envelope;
  reply.envelope = std::move(envelope);
  reply.httpStatus = httpStatus;
  return reply;
}

BackendReply BackendReply::raw(std::string body, int httpStatus) {
  BackendReply reply;
  reply.kind = Kind::rawBody;
  reply.rawBody = std::move(body);
  reply.httpStatus = httpStatus;
  return reply;
}

BackendReply BackendReply::undecryptable() {
  BackendReply reply;
  reply.kind = Kind::undecryptableData;
  return reply;
}

BackendReply BackendReply::drop() {
  BackendReply reply;
  reply.kind = Kind::dropConnection;
  return reply;
}

BackendReply BackendReply::service() {
  BackendReply reply;
  reply.kind = Kind::service;
  return reply;
}

BackendReply BackendReply::trickled(platform::dispatch::Seconds realDuration) && {
  trickle = realDuration;
  return std::move(*this);
}

BackendReply BackendReply::dripped(platform::dispatch::Seconds realInterval) && {
  drip = realInterval;
  return std::move(*this);
}

BackendReply BackendReply::after(platform::dispatch::Seconds realDelay) && {
  delay = realDelay;
  return std::move(*this);
}

}  // namespace sim
