// The PLC folders and diagnostics through a real OPC UA client (node-opcua-client), against
// the whole core (ua_planthost --plant): PLC1 and "Press/2" on plcsim. Press/2's simulator is
// stopped and started again, so its diagnostics show a PLC that fails and recovers. PLC1
// holds a tag named "Press/2/Diagnostics/State", so that diagnostic gives way to the tag.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const {
  AttributeIds, DataType, StatusCodes, TimestampsToReturn,
  ClientSubscription, ClientMonitoredItem, BrowseDirection, NodeClass,
} = require("node-opcua-client");
const { startHost, openNoneSession, sleep, waitFor } = require("./host.js");

const hostPath = process.env.UA_TESTHOST;
const port = Number(process.env.UA_PORT || 28455);
const endpoint = `opc.tcp://127.0.0.1:${port}`;
let host, client, session;

// error.dat: four hex digits, a separator, the text; up to the FFFF line.
function errorTexts(path) {
  const texts = new Map();
  for (const line of fs.readFileSync(path, "latin1").split(/\r?\n/)) {
    const code = parseInt(line.slice(0, 4), 16);
    if (Number.isNaN(code)) continue;
    if (code === 0xffff) break;
    if (!texts.has(code)) texts.set(code, line.slice(5));
  }
  return texts;
}

const forward = async (nodeId) => (await session.browse({
  nodeId, browseDirection: BrowseDirection.Forward, resultMask: 63,
  referenceTypeId: "i=33", includeSubtypes: true, nodeClassMask: 0,
})).references;

// The targets of a browse path of namespace-1 names from Objects (names may hold slashes).
async function translate(names) {
  const result = await session.translateBrowsePath({
    startingNode: "i=85",
    relativePath: { elements: names.map((name) => ({
      referenceTypeId: "i=33", isInverse: false, includeSubtypes: true, targetName: { namespaceIndex: 1, name },
    })) },
  });
  return (result.targets || []).map((t) => t.targetId.toString());
}

const value = async (nodeId) => (await session.read({ nodeId, attributeId: AttributeIds.Value })).value.value;
// node-opcua gives a UInt64 as [high, low].
const uint64 = (v) => (Array.isArray(v) ? v[0] * 2 ** 32 + v[1] : Number(v));

before(async () => {
  assert.ok(hostPath, "UA_TESTHOST must name the plant host program");
  host = await startHost(hostPath, ["--port", String(port), "--plc", process.env.UA_PLC || "127.0.5.11",
    "--plant", process.env.UA_PLANT_PLC || "127.0.5.12", "--errors", process.env.UA_ERRORS || ""]);
  ({ client, session } = await openNoneSession(endpoint, 60000));
});

after(async () => {
  try { if (session) await session.close(); } catch (_) { /* the server may be gone */ }
  try { if (client) await client.disconnect(); } catch (_) { /* idem */ }
  if (host) await host.stop();
});

test("folders: OPCZentarc holds the server's Diagnostics and a folder per PLC with its tags", async () => {
  const objects = await forward("i=85");
  const top = objects.find((r) => r.browseName.name === "OPCZentarc");
  assert.ok(top, "no OPCZentarc folder under Objects");
  assert.ok(!objects.some((r) => r.browseName.name === "I2"), "Objects still lists tags");
  const inTop = await forward(top.nodeId);
  assert.deepEqual(inTop.map((r) => r.browseName.name), ["Diagnostics", "PLC1", "Press/2"]);
  const folders = inTop.slice(1);
  assert.deepEqual(folders.map((r) => r.nodeId.toString()), ["ns=1;s=PLC1/", "ns=1;s=Press/2/"]);
  for (const f of folders) {
    assert.equal(f.nodeClass, NodeClass.Object);
    assert.equal(f.typeDefinition.toString(), "ns=0;i=61");
    assert.equal(f.displayName.text, f.browseName.name);
  }
  const press = await forward("ns=1;s=Press/2/");
  assert.deepEqual(press.map((r) => `${r.browseName.name} ${r.nodeId.toString()}`),
    ["Diagnostics ns=1;s=Press/2/Diagnostics", "Speed ns=1;s=Speed", "Diagnostics ns=1;s=Diagnostics"]);
  const plc1 = (await forward("ns=1;s=PLC1/")).map((r) => r.browseName.name);
  for (const n of ["Diagnostics", "I2", "A_BOOL", "Counter", "Press/2/Diagnostics/State"]) assert.ok(plc1.includes(n), n);
  assert.ok(!plc1.includes("Speed"));
});

test("translate: OPCZentarc/<PLC>/<tag> finds the tag; a tag keeps a NodeId a diagnostic would have", async () => {
  assert.deepEqual(await translate(["OPCZentarc", "Press/2", "Speed"]), ["ns=1;s=Speed"]);
  assert.deepEqual(await translate(["OPCZentarc", "PLC1", "I2"]), ["ns=1;s=I2"]);
  assert.deepEqual(await translate(["OPCZentarc", "PLC1", "Diagnostics", "State"]), ["ns=1;s=PLC1/Diagnostics/State"]);
  const state = await translate(["OPCZentarc", "Press/2", "Diagnostics", "State"]);
  assert.equal(state.length, 1);
  assert.match(state[0], /^ns=1;i=\d+$/);
  assert.equal(typeof await value(state[0]), "string");
  const tagType = await session.read({ nodeId: "ns=1;s=Press/2/Diagnostics/State", attributeId: AttributeIds.DataType });
  assert.equal(tagType.value.value.toString(), "ns=0;i=4");  // the tag's Int16
});

test("diagnostics: typed, Good with their own timestamps, read-only; server-wide counts", async () => {
  const types = {
    State: DataType.String, Connected: DataType.Boolean, LastResultCode: DataType.UInt32,
    LastResultText: DataType.String, LastChange: DataType.DateTime, MessagesSent: DataType.UInt64,
    MessagesFailed: DataType.UInt64, Reconnects: DataType.UInt32, ScanPeriodMs: DataType.Double,
    PolledBlocks: DataType.UInt32, PolledTags: DataType.UInt32,
  };
  const names = Object.keys(types);
  const ids = names.map((n) => `ns=1;s=PLC1/Diagnostics/${n}`);
  assert.deepEqual((await forward("ns=1;s=PLC1/Diagnostics")).map((r) => r.nodeId.toString()), ids);
  const values = await session.read(ids.map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value })),
    TimestampsToReturn.Both);
  names.forEach((n, i) => {
    assert.equal(values[i].statusCode.value, StatusCodes.Good.value, n);
    assert.equal(values[i].value.dataType, types[n], n);
    assert.ok(values[i].sourceTimestamp, `${n} has no SourceTimestamp`);
  });
  assert.ok(["connecting", "working", "failing", "demoted", "idle"].includes(values[0].value.value));
  const write = await session.write({ nodeId: ids[0], attributeId: AttributeIds.Value,
    value: { value: { dataType: DataType.String, value: "working" } } });
  assert.equal(write.value, StatusCodes.BadNotWritable.value);
  const server = await forward("ns=1;i=2");
  assert.deepEqual(server.map((r) => r.browseName.name), ["Tags", "Plcs", "PlcsFailing", "Sessions", "MonitoredItems"]);
  const counts = await session.read(server.map((r) => ({ nodeId: r.nodeId, attributeId: AttributeIds.Value })));
  assert.equal(counts[0].value.value, 21);  // 18 + 3 tags
  assert.equal(counts[1].value.value, 2);
  assert.ok(counts[3].value.value >= 1);
  assert.ok(counts.every((c) => c.value.dataType === DataType.UInt32));
});

test("a PLC that fails and recovers: its diagnostics follow, and subscribers are told", async () => {
  const texts = errorTexts(process.env.UA_ERRORS);
  const [stateId] = await translate(["OPCZentarc", "Press/2", "Diagnostics", "State"]);
  const diag = (n) => `ns=1;s=Press/2/Diagnostics/${n}`;
  const sub = ClientSubscription.create(session, {
    requestedPublishingInterval: 100, requestedLifetimeCount: 600, requestedMaxKeepAliveCount: 10,
    publishingEnabled: true,
  });
  await new Promise((resolve, reject) => { sub.once("started", resolve); sub.once("internal_error", reject); });
  const watch = (nodeId) => {
    const seen = [];
    const item = ClientMonitoredItem.create(sub, { nodeId, attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 1 }, TimestampsToReturn.Both);
    item.on("changed", (dv) => seen.push(dv));
    return seen;
  };
  const speed = watch("ns=1;s=Speed");  // keeps Press/2 polled
  const states = watch(stateId);
  const connected = watch(diag("Connected"));
  const failing = watch("ns=1;i=5");  // PlcsFailing
  const last = (seen) => (seen.length ? seen[seen.length - 1].value.value : undefined);

  await waitFor(() => last(states) === "working" && last(connected) === true, 10000, "Press/2 working");
  assert.equal(last(speed), 1500);
  assert.ok(uint64(await value(diag("MessagesSent"))) > 0);
  const monitored = await value("ns=1;i=7");
  assert.ok(monitored >= 4, `MonitoredItems ${monitored}`);

  await host.command("down2");
  await waitFor(() => ["failing", "demoted"].includes(last(states)) && last(connected) === false && last(failing) === 1,
    15000, "Press/2 failing, not connected, one PLC failing");
  const code = await value(diag("LastResultCode"));
  assert.ok(code > 0, "no result code");
  assert.equal(await value(diag("LastResultText")), texts.get(code) || "");
  assert.ok((texts.get(code) || "").length > 0, `error.dat has no text for ${code}`);
  const changed = await value(diag("LastChange"));
  assert.ok(Math.abs(Date.now() - changed.getTime()) < 60000, `LastChange ${changed}`);
  assert.ok(uint64(await value(diag("MessagesFailed"))) > 0);
  // The state's SourceTimestamp is when it changed, and stays so while it holds.
  const first = await session.read({ nodeId: stateId, attributeId: AttributeIds.Value }, TimestampsToReturn.Both);
  await sleep(300);
  const again = await session.read({ nodeId: stateId, attributeId: AttributeIds.Value }, TimestampsToReturn.Both);
  if (again.value.value === first.value.value)
    assert.equal(again.sourceTimestamp.getTime(), first.sourceTimestamp.getTime());

  await host.command("up2");
  await waitFor(() => last(states) === "working" && last(connected) === true && last(failing) === 0,
    40000, "Press/2 working again");
  assert.ok(await value(diag("Reconnects")) >= 1);
  assert.equal(await value(diag("LastResultCode")), 0);
  // Each change reached the subscriber once: (idle,) working, failing or demoted, ..., working.
  const told = states.map((dv) => dv.value.value);
  const working = told.indexOf("working");
  assert.ok(working >= 0 && told.slice(0, working).every((s) => s === "idle"), told.join());
  assert.ok(told.slice(working).some((s) => s === "failing" || s === "demoted"), told.join());
  assert.equal(told[told.length - 1], "working");
  for (let i = 1; i < told.length; i++) assert.notEqual(told[i], told[i - 1], `repeated ${told[i]}`);
  await sub.terminate();
});
