// Recording files as the reader meets them after a crash, a full disk or someone's tampering:
// any bytes read without a crash or a read outside them. Whatever the reader keeps is whole:
// written again by the writer, the same messages read back from a file that is complete.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "lumosdk/recorder/McapReader.h"
#include "lumosdk/recorder/McapWriter.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::fuzz::require;
using lumo::recorder::McapContents;
using lumo::recorder::McapReader;
using lumo::recorder::McapRecordCursor;
using lumo::recorder::McapWriter;

void checkCursor(const std::uint8_t* data, std::size_t size) {
  McapRecordCursor cursor({data, size});
  std::uint64_t last = 0;
  while (auto record = cursor.next()) {
    require(record->offset >= last, "records go forward");
    require(record->body.data() >= data && record->body.data() + record->body.size() <= data + size,
            "a record's body lies inside the bytes");
    last = record->offset + 1;
  }
  require(cursor.position() <= size, "the cursor stays inside the bytes");
  require(cursor.atEnd() || cursor.problem().has_value(), "stopping short says why");
}

void checkRewrite(const McapContents& contents) {
  std::vector<std::uint8_t> bytes;
  McapWriter writer([&](const std::uint8_t* d, std::size_t n) {
    bytes.insert(bytes.end(), d, d + n);
    return true;
  });
  require(writer.open(contents.profile, contents.library), "open");
  std::map<std::uint16_t, std::uint16_t> channelIds;
  for (const auto& channel : contents.channels) {
    const auto schema = writer.addSchema("s", "jsonschema", "{}");
    channelIds[channel.id] = writer.addChannel(schema, channel.topic, channel.messageEncoding);
  }
  for (const auto& m : contents.messages)
    require(writer.writeMessage(channelIds.at(m.channelId), m.logTime, m.publishTime, m.data), "message");
  require(writer.close(), "close");
  const auto again = McapReader::read(bytes);
  require(again.complete, "a rewritten file is complete");
  require(again.messages.size() == contents.messages.size(), "every message comes back");
  for (std::size_t i = 0; i < again.messages.size(); ++i) {
    require(again.messages[i].data == contents.messages[i].data, "same data");
    require(again.messages[i].logTime == contents.messages[i].logTime, "same time");
    require(again.channel(again.messages[i].channelId)->topic ==
                contents.channel(contents.messages[i].channelId)->topic,
            "same channel");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  checkCursor(data, size);
  const auto contents = McapReader::read({data, size});
  require(contents.complete != contents.problem.has_value(), "complete exactly when nothing went wrong");
  if (contents.problem) require(contents.problem->offset <= size, "the problem lies inside the bytes");
  checkRewrite(contents);
  return 0;
}
