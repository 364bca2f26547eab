// Reads an MCAP file with the format's reference reader and prints what it found as JSON:
// every record the stream reader yields (messages with their parsed JSON data), what the
// indexed reader found in the summary, and whether both CRCs hold. Times are decimal strings,
// since nanoseconds do not fit a JSON number exactly.
"use strict";
const fs = require("fs");
const { McapStreamReader, McapIndexedReader } = require("@mcap/core");
const { crc32 } = require("@foxglove/crc");

const text = (v) => (typeof v === "bigint" ? v.toString() : v);

async function main() {
  const bytes = new Uint8Array(fs.readFileSync(process.argv[2]));
  const out = { records: [], messages: [], schemas: {}, channels: {}, streamError: null };

  const stream = new McapStreamReader({ validateCrcs: true });
  stream.append(bytes);
  try {
    for (let record; (record = stream.nextRecord()); ) {
      out.records.push(record.type);
      if (record.type === "Header") out.header = { profile: record.profile, library: record.library };
      if (record.type === "Schema")
        out.schemas[record.id] = { name: record.name, encoding: record.encoding,
                                   data: JSON.parse(new TextDecoder().decode(record.data)) };
      if (record.type === "Channel")
        out.channels[record.id] = { topic: record.topic, schemaId: record.schemaId,
                                    messageEncoding: record.messageEncoding };
      if (record.type === "Message")
        out.messages.push({ channelId: record.channelId, sequence: record.sequence,
                            logTime: text(record.logTime), publishTime: text(record.publishTime),
                            data: JSON.parse(new TextDecoder().decode(record.data)) });
      if (record.type === "DataEnd") out.dataSectionCrc = record.dataSectionCrc;
    }
    out.streamDone = stream.done();
  } catch (error) {
    out.streamError = String(error.message || error);
  }

  try {
    const readable = {
      size: async () => BigInt(bytes.length),
      read: async (offset, size) => bytes.subarray(Number(offset), Number(offset + size)),
    };
    const indexed = await McapIndexedReader.Initialize({ readable });
    const s = indexed.statistics;
    out.summary = {
      schemas: indexed.schemasById.size,
      channels: indexed.channelsById.size,
      summaryCrc: indexed.footer.summaryCrc,
      statistics: s && { messageCount: text(s.messageCount), schemaCount: s.schemaCount,
                         channelCount: s.channelCount, messageStartTime: text(s.messageStartTime),
                         messageEndTime: text(s.messageEndTime),
                         channelMessageCounts: Object.fromEntries(
                           [...s.channelMessageCounts].map(([k, v]) => [k, text(v)])) },
      offsets: [...indexed.summaryOffsetsByOpcode.keys()],
    };
    // The stream reader leaves the data section's CRC to the caller.
    const computed = crc32(bytes.subarray(0, Number(indexed.dataEndOffset)));
    out.dataSectionCrcValid = indexed.dataSectionCrc === computed;
  } catch (error) {
    out.summaryError = String(error.message || error);
  }
  process.stdout.write(JSON.stringify(out) + "\n");
}

main().catch((error) => {
  process.stderr.write(String(error && error.stack) + "\n");
  process.exit(1);
});
