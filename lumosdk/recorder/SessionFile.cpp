#include "lumosdk/recorder/SessionFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <nlohmann/json.hpp>

#include "lumosdk/LumoVersion.h"
#include "lumosdk/recorder/RecordingsFolder.h"
#include "lumosdk/recorder/SessionSchemas.h"
#include "lumosdk/utils/ConnectState.h"
#include "platform/foundation/AppSandbox.h"

namespace lumo::recorder {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::mutex& writeMutex() {
  static std::mutex mutex;
  return mutex;
}
SessionFile::WriteFunction& writeFunction() {
  static SessionFile::WriteFunction write;
  return write;
}

ssize_t writeOut(int fd, const void* data, std::size_t size) {
  SessionFile::WriteFunction replaced;
  {
    std::lock_guard lock(writeMutex());
    replaced = writeFunction();
  }
  return replaced ? replaced(fd, data, size) : ::write(fd, data, size);
}

std::string hex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

const char* refusalName(StateRefusal refusal) {
  switch (refusal) {
    case StateRefusal::shortFrame: return "short";
    case StateRefusal::longFrame: return "long";
    case StateRefusal::checksum: return "checksum";
    case StateRefusal::repeat: return "repeat";
    case StateRefusal::otherDevice: return "other_device";
    case StateRefusal::none: break;
  }
  return "";
}

const char* safetyName(std::uint8_t safety) {
  return safety == 1 ? "disabled" : safety == 2 ? "enabled" : "unknown";
}

const char* padName(Pad pad) {
  switch (pad) {
    case Pad::forward: return "forward";
    case Pad::back: return "back";
    case Pad::left: return "left";
    case Pad::right: return "right";
    case Pad::none: break;
  }
  return "";
}

const char* uiKindName(UiKind kind) {
  switch (kind) {
    case UiKind::dialog: return "dialog";
    case UiKind::toast: return "toast";
    case UiKind::wait: return "wait";
    case UiKind::warning: return "warning";
  }
  return "";
}

// The control frame's fields as the vehicle reads them (see ControlUtil::encodeCmd).
json controlFields(const SessionEvent& event) {
  const auto* b = event.bytes;
  json fields = {{"bytes", hex(b, std::min<std::size_t>(event.size, SessionEvent::kMaxBytes))}};
  if (event.size < 8) return fields;
  fields["enableCmd"] = (b[0] & 0x01) != 0;
  fields["antiCollision"] = (b[0] & 0x02) != 0;
  fields["throttle"] = static_cast<int>(static_cast<std::int8_t>(b[1]));
  fields["brake"] = static_cast<int>(static_cast<std::int8_t>(b[2]));
  // The frame carries the steering negated; the page's angle is its opposite.
  fields["steering"] = -static_cast<int>(static_cast<std::int8_t>(b[3]));
  return fields;
}

}  // namespace

void SessionFile::setWriteFunctionForTesting(WriteFunction write) {
  std::lock_guard lock(writeMutex());
  writeFunction() = std::move(write);
}

SessionFile::SessionFile(SessionStart start)
    : start_(std::move(start)), writer_([this](const std::uint8_t* data, std::size_t size) {
        buffer_.insert(buffer_.end(), data, data + size);
        return true;
      }) {}

SessionFile::~SessionFile() {
  if (fd_ >= 0) ::close(fd_);
  if (path_) RecordingsFolder::unmarkWriting(*path_);
}

bool SessionFile::fail(std::string why) {
  if (!failed_) failure_ = std::move(why);
  failed_ = true;
  buffer_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (path_) RecordingsFolder::unmarkWriting(*path_);
  return false;
}

bool SessionFile::open() {
  using platform::foundation::AppSandbox;
  auto folder = RecordingsFolder::path();
  if (!folder) return fail("no app sandbox");
  if (!AppSandbox::preparePrivateFolder(*folder)) return fail("the recordings folder is not private or cannot be made");
  for (int n = 1; n <= 1000 && fd_ < 0; ++n) {
    fs::path file = *folder / RecordingsFolder::fileName(start_.wallTimeMs, n);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) continue;
    if (!AppSandbox::preparePrivateFile(file)) return fail("the recording file cannot be made private");
    fd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) return fail(std::string("cannot open the recording file: ") + std::strerror(errno));
    path_ = file;
  }
  if (!path_) return fail("no free recording name");
  RecordingsFolder::markWriting(*path_);

  writer_.open("", std::string("lumosdk ") + lumoVersion());
  auto channel = [&](const char* schemaName, const char* schema, const char* topic) {
    return writer_.addChannel(writer_.addSchema(schemaName, "jsonschema", schema), topic, "json");
  };
  session_ = channel("lumo.Session", schemas::kSession, "/lumo/session");
  control_ = channel("lumo.ControlFrame", schemas::kControl, "/lumo/control");
  state_ = channel("lumo.StateFrame", schemas::kState, "/lumo/state");
  link_ = channel("lumo.Link", schemas::kLink, "/lumo/link");
  input_ = channel("lumo.Input", schemas::kInput, "/lumo/input");
  ui_ = channel("lumo.Ui", schemas::kUi, "/lumo/ui");
  message(session_, start_.monotonicNs,
          json{{"event", "start"},
               {"vin", start_.vin},
               {"vehicleId", start_.vehicleId},
               {"vehicleName", start_.vehicleName},
               {"bleName", start_.bleName},
               {"sdkVersion", lumoVersion()},
               {"wallTimeMs", static_cast<std::int64_t>(start_.wallTimeMs)},
               {"monotonicNs", start_.monotonicNs}}
              .dump(-1, ' ', false, json::error_handler_t::replace));
  if (!flush()) {
    // Not even the start reached the disk: nothing worth keeping.
    std::error_code ec;
    fs::remove(*path_, ec);
    return false;
  }
  RecordingsFolder::prune();
  return true;
}

void SessionFile::message(std::uint16_t channel, std::int64_t monotonicNs, const std::string& text) {
  const auto time = static_cast<std::uint64_t>(std::max<std::int64_t>(monotonicNs, 0));
  writer_.writeMessage(channel, time, time, text);
}

void SessionFile::write(const SessionEvent& event, const std::vector<std::string>& texts) {
  if (failed_ || fd_ < 0) return;
  json fields;
  std::uint16_t channel = 0;
  switch (event.kind) {
    case EventKind::controlFrame: {
      channel = control_;
      fields = controlFields(event);
      if (event.size >= 8) {
        // The frame holds the tick's low 16 bits; ticks only grow, so the count is unwrapped.
        const std::int64_t tick = (event.bytes[4] << 8) | event.bytes[5];
        std::int64_t seq = (lastSeq_ & ~std::int64_t(0xFFFF)) | tick;
        if (seq < lastSeq_ - 0x8000) seq += 0x10000;
        lastSeq_ = seq;
        fields["seq"] = seq;
      }
      break;
    }
    case EventKind::stateFrame: {
      channel = state_;
      const auto& s = event.state;
      fields = {{"bytes", hex(event.bytes, std::min<std::size_t>(event.size, SessionEvent::kMaxBytes))},
                {"accepted", s.refusal == StateRefusal::none},
                {"driveMode", s.driveMode},
                {"authority", s.authority},
                {"safety", safetyName(s.safety)},
                {"delayMs", s.hasDelay ? json(s.delayMs) : json(nullptr)}};
      if (event.size != 8) fields["size"] = event.size;
      if (s.refusal != StateRefusal::none) fields["refusal"] = refusalName(s.refusal);
      break;
    }
    case EventKind::link: {
      channel = link_;
      auto state = connectStateFromRaw(event.link.connectState);
      fields = {{"state", state ? connectStateName(*state) : "unknown"}};
      break;
    }
    case EventKind::input: {
      channel = input_;
      const auto& in = event.input;
      fields = {{"event", in.event == InputEvent::select    ? "select"
                          : in.event == InputEvent::release ? "release"
                                                            : "wheel"}};
      if (in.event == InputEvent::wheel) {
        fields["angle"] = in.angle;
      } else {
        fields["pad"] = padName(in.pad);
      }
      break;
    }
    case EventKind::ui: {
      channel = ui_;
      const auto& u = event.ui;
      fields = {{"kind", uiKindName(u.kind)},
                {"action", u.action == UiAction::show ? "show" : "dismiss"},
                {"text", u.textIndex < texts.size() ? texts[u.textIndex] : std::string()}};
      break;
    }
  }
  message(channel, event.monotonicNs, fields.dump(-1, ' ', false, json::error_handler_t::replace));
}

void SessionFile::writeEnd(std::int64_t monotonicNs, const std::string& reason, const std::string& text,
                           std::uint64_t droppedEvents) {
  if (failed_ || fd_ < 0) return;
  json fields = {{"event", "end"}, {"reason", reason}, {"text", text}};
  if (droppedEvents > 0) fields["droppedEvents"] = droppedEvents;
  message(session_, monotonicNs, fields.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool SessionFile::flush() {
  if (failed_ || fd_ < 0) return false;
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = writeOut(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(std::string("writing the recording failed: ") + std::strerror(n < 0 ? errno : ENOSPC));
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

bool SessionFile::close() {
  if (failed_ || fd_ < 0) return false;
  writer_.close();
  const bool written = flush();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (path_) RecordingsFolder::unmarkWriting(*path_);
  RecordingsFolder::prune();
  return written;
}

}  // namespace lumo::recorder
