// Our Sparkplug B payloads as a decoder we did not write reads them (sparkplug-payload, the
// Eclipse Tahu decoder for JavaScript), and commands it writes as our decoder reads them.
// That decoder predates the array datatypes (22 and up): it gives them no value, so their
// bytes are taken from its protobuf layer and unpacked here as the Sparkplug 3.0 payload
// definition lays them out.
"use strict";
const { test } = require("node:test");
const assert = require("node:assert/strict");
const { execFileSync } = require("node:child_process");
const { decode, num, sparkplug } = require("./decoder.js");

const probe = process.env.SPARKPLUG_PROBE;
const SENT = 1765102530999;
const READ = 1765102530123;

function samples() {
  assert.ok(probe, "SPARKPLUG_PROBE must name the probe program");
  const out = {};
  for (const line of execFileSync(probe, ["samples"], { encoding: "utf8" }).trim().split("\n")) {
    const [name, hex] = line.split(" ");
    out[name] = Buffer.from(hex, "hex");
  }
  return out;
}

function ourDecoding(buffers) {
  const input = buffers.map((b) => b.toString("hex")).join("\n") + "\n";
  const out = execFileSync(probe, ["decode"], { input, encoding: "utf8" });
  return out.trim().split("\n").map((l) => JSON.parse(l));
}

test("NBIRTH: seq 0, bdSeq as UInt64, Node Control/Rebirth false, every metric named, aliased and stamped", () => {
  const p = sparkplug.decodePayload(samples().node);
  assert.equal(num(p.seq), 0);
  assert.equal(num(p.timestamp), SENT);
  const byName = Object.fromEntries(p.metrics.map((m) => [m.name, m]));
  assert.equal(byName.bdSeq.type, "UInt64");
  assert.equal(num(byName.bdSeq.value), 3);
  assert.equal(byName["Node Control/Rebirth"].type, "Boolean");
  assert.equal(byName["Node Control/Rebirth"].value, false);
  for (const m of p.metrics) {
    assert.ok(m.alias !== undefined, m.name);
    assert.equal(num(m.timestamp), SENT, m.name);
  }
});

test("DBIRTH: every tag type with its datatype and value", () => {
  const bytes = samples().birth;
  const p = sparkplug.decodePayload(bytes);
  assert.equal(num(p.seq), 1);
  const byName = Object.fromEntries(p.metrics.map((m) => [m.name, m]));
  const scalars = {
    I2: ["Int16", -5], UI2: ["UInt16", 65535], I4: ["Int32", -70000], UI4: ["UInt32", 4000000000],
    R4: ["Float", 1.5], BOOL: ["Boolean", true], STR: ["String", "Café"],
    "Diagnostics/State": ["String", "working"],
  };
  for (const [name, [type, value]] of Object.entries(scalars)) {
    assert.equal(byName[name].type, type, name);
    assert.equal(num(byName[name].value), value, name);
    assert.equal(num(byName[name].timestamp), READ, name);
  }
  assert.deepEqual(p.metrics.map((m) => num(m.alias)), Array.from({ length: 16 }, (_, i) => 11 + i));

  // The arrays, from the decoder's protobuf layer.
  const decoded = Object.fromEntries(decode(bytes).metrics.map((m) => [m.name, m]));
  const arrays = {
    A_I1: [22, [-1, 2]], A_UI1: [26, [255, 0]], A_I2: [23, [-300, 300]], A_UI2: [27, [65535, 1]],
    A_I4: [24, [-70000, 5]], A_UI4: [28, [4000000000, 1]], A_R4: [30, [0.5, -2]],
    A_BOOL: [32, [true, false, true, false, false, false, false, false, true]],
  };
  for (const [name, [datatype, value]] of Object.entries(arrays)) {
    assert.equal(decoded[name].datatype, datatype, name);
    assert.equal(decoded[name].isNull, false, name);
    assert.deepEqual(decoded[name].value, value, name);
  }
});

test("DDATA: by alias alone; a Bad value is null with Quality 0; historical values are marked", () => {
  const p = sparkplug.decodePayload(samples().data);
  assert.equal(num(p.seq), 2);
  for (const m of p.metrics) assert.equal(m.name, undefined);
  const [bad, old, nan] = p.metrics;
  assert.equal(num(bad.alias), 11);
  assert.equal(bad.value, null);
  assert.deepEqual(bad.properties, { Quality: { type: "Int32", value: 0 } });
  assert.equal(num(old.alias), 12);
  assert.equal(old.isHistorical, true);
  assert.equal(old.value, 7);
  assert.equal(bad.isHistorical, undefined);
  assert.ok(Number.isNaN(nan.value));
});

test("NDEATH: the bdSeq metric and no seq", () => {
  const p = sparkplug.decodePayload(samples().death);
  assert.equal(p.seq, undefined);
  assert.equal(p.metrics.length, 1);
  assert.equal(p.metrics[0].name, "bdSeq");
  assert.equal(p.metrics[0].type, "UInt64");
  assert.equal(num(p.metrics[0].value), 3);
});

test("NCMD and DCMD written by the npm encoder are read by ours", () => {
  const ncmd = sparkplug.encodePayload({
    timestamp: SENT,
    metrics: [{ name: "Node Control/Rebirth", type: "Boolean", value: true }],
  });
  const dcmd = sparkplug.encodePayload({
    timestamp: SENT,
    metrics: [
      { name: "I2", type: "Int16", value: -5 },
      { alias: 14, type: "UInt32", value: 4000000000 },
      { name: "R4", type: "Float", value: 2.5 },
      { name: "STR", type: "String", value: "Café" },
      { name: "BOOL", type: "Boolean", value: false },
      { name: "gone", type: "Int32", value: null },
    ],
  });
  const [n, d, junk] = ourDecoding([ncmd, dcmd, Buffer.from("not protobuf at all")]);
  assert.equal(n.seq, null);
  assert.deepEqual(n.metrics, [{ name: "Node Control/Rebirth", alias: null, datatype: 11, isNull: false, value: true }]);
  assert.deepEqual(d.metrics.map((m) => [m.name, m.alias, m.datatype, m.isNull, m.value]), [
    ["I2", null, 2, false, -5],
    ["", 14, 7, false, 4000000000],
    ["R4", null, 9, false, 2.5],
    ["STR", null, 12, false, "Café"],
    ["BOOL", null, 11, false, false],
    ["gone", null, 3, true, null],
  ]);
  assert.ok(junk.error, "garbage must be refused");
});
