// Sparkplug B payloads as a decoder we did not write reads them (sparkplug-payload, the
// Eclipse Tahu decoder for JavaScript), flattened to plain JSON for tests. That decoder
// predates the array datatypes (22 and up) and gives them no value, so their bytes are taken
// from its protobuf layer and unpacked here as the Sparkplug 3.0 payload definition lays
// them out.
// As a program it reads hex payloads, one a line, and writes each decoded as one JSON line.
"use strict";
const assert = require("node:assert/strict");
const readline = require("node:readline");
const sparkplug = require("sparkplug-payload").get("spBv1.0");
const { org } = require("sparkplug-payload/lib/sparkplugPayloadProto");

const Payload = org.eclipse.tahu.protobuf.Payload;

// A Long (64-bit) as a number.
const num = (v) => (v && typeof v === "object" && "low" in v ? Number(v.toString()) : v);

// Elements little endian back to back; a BooleanArray has a 4-byte count first and packs
// the first element into the top bit of each byte.
function unpack(datatype, bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (datatype === 32) {
    const count = view.getUint32(0, true);
    assert.equal(bytes.length, 4 + Math.ceil(count / 8), "BooleanArray length");
    return Array.from({ length: count }, (_, i) => (bytes[4 + (i >> 3)] & (0x80 >> (i & 7))) !== 0);
  }
  const read = {
    22: [1, (o) => view.getInt8(o)], 26: [1, (o) => view.getUint8(o)],
    23: [2, (o) => view.getInt16(o, true)], 27: [2, (o) => view.getUint16(o, true)],
    24: [4, (o) => view.getInt32(o, true)], 28: [4, (o) => view.getUint32(o, true)],
    30: [4, (o) => view.getFloat32(o, true)],
  }[datatype];
  assert.ok(read, `datatype ${datatype} is no array a tag has`);
  const [size, get] = read;
  assert.equal(bytes.length % size, 0, "array length");
  return Array.from({ length: bytes.length / size }, (_, i) => get(i * size));
}

function decode(buffer) {
  const p = sparkplug.decodePayload(buffer);
  const raw = Payload.decode(buffer);
  const metrics = (p.metrics || []).map((m, i) => {
    const r = raw.metrics[i];
    let value = num(m.value);
    if (r.datatype >= 22 && r.value === "bytesValue") value = unpack(r.datatype, r.bytesValue);
    return {
      name: m.name === undefined ? null : m.name,
      alias: m.alias === undefined ? null : num(m.alias),
      datatype: r.datatype,
      type: m.type === undefined ? null : m.type,
      value: value === undefined ? null : value,
      isNull: r.isNull === true,
      historical: m.isHistorical === true,
      quality: m.properties && m.properties.Quality ? num(m.properties.Quality.value) : null,
      timestamp: m.timestamp === undefined ? null : num(m.timestamp),
    };
  });
  return {
    timestamp: p.timestamp === undefined ? null : num(p.timestamp),
    seq: p.seq === undefined ? null : num(p.seq),
    metrics,
  };
}

// JSON has no numbers for these.
const replacer = (_, v) => (typeof v === "number" && !Number.isFinite(v) ? String(v) : v);

module.exports = { decode, unpack, num, sparkplug, Payload };

if (require.main === module) {
  const lines = readline.createInterface({ input: process.stdin });
  lines.on("line", (line) => {
    let out;
    try {
      out = decode(Buffer.from(line.trim(), "hex"));
    } catch (e) {
      out = { error: String(e && e.message ? e.message : e) };
    }
    process.stdout.write(JSON.stringify(out, replacer) + "\n");
  });
}
