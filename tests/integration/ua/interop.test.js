// A real OPC UA client that nobody here wrote (node-opcua-client) against our server, hosted
// by ua_testhost (tags of all fifteen types whose device it simulates). Loopback only.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const {
  AttributeIds, DataType, StatusCodes, TimestampsToReturn,
  ClientSubscription, ClientMonitoredItem, BrowseDirection, VariantArrayType, NodeClass,
} = require("node-opcua-client");
const { startHost, openNoneSession, sleep, waitFor } = require("./host.js");

const hostPath = process.env.UA_TESTHOST;
const port = Number(process.env.UA_PORT || 28450);
const endpoint = `opc.tcp://127.0.0.1:${port}`;
let host, client, session;

before(async () => {
  assert.ok(hostPath, "UA_TESTHOST must name the test host program");
  host = await startHost(hostPath, ["--port", String(port)]);
  ({ client, session } = await openNoneSession(endpoint, 30000));
});

after(async () => {
  try { if (session) await session.close(); } catch (_) { /* the server may be gone */ }
  try { if (client) await client.disconnect(); } catch (_) { /* idem */ }
  if (host) await host.stop();
});

test("browse: Objects holds Server and OPCZentarc, whose folders hold every tag", async () => {
  const forward = (nodeId) => session.browse({
    nodeId, browseDirection: BrowseDirection.Forward, resultMask: 63,
    referenceTypeId: "i=33", includeSubtypes: true, nodeClassMask: 0,
  });
  const objects = await forward("i=85");
  assert.equal(objects.statusCode.value, StatusCodes.Good.value);
  assert.deepEqual(objects.references.map((r) => r.browseName.name).sort(), ["OPCZentarc", "Server"]);
  // Tags sit in their PLC's folder, or in OPCZentarc itself when the host knows no PLCs.
  const top = objects.references.find((r) => r.browseName.name === "OPCZentarc");
  const tags = [];
  for (const ref of (await forward(top.nodeId)).references) {
    if (ref.nodeClass === NodeClass.Variable) tags.push(ref.browseName.name);
    else if (ref.typeDefinition.toString() === "ns=0;i=61") {
      for (const inner of (await forward(ref.nodeId)).references)
        if (inner.nodeClass === NodeClass.Variable) tags.push(inner.browseName.name);
    }
  }
  for (const n of ["I2", "STR", "A_BOOL", "Counter"]) assert.ok(tags.includes(n), n);
  const ns = await session.read({ nodeId: "i=2255", attributeId: AttributeIds.Value });
  assert.deepEqual(ns.value.value, ["http://opcfoundation.org/UA/", "urn:tarvelle:zentarc"]);
  const desc = await session.read({ nodeId: "ns=1;s=I2", attributeId: AttributeIds.Description });
  assert.equal(desc.value.value.text, "signed 16 bit");
});

test("browse: the whole tree from Root resolves, attributes read without errors", async () => {
  const seen = new Set(["i=84"]);
  const queue = ["i=84"];
  let visited = 0;
  while (queue.length && visited < 400) {
    const nodeId = queue.shift();
    visited++;
    const r = await session.browse({ nodeId, browseDirection: BrowseDirection.Forward, resultMask: 63,
      referenceTypeId: "i=33", includeSubtypes: true, nodeClassMask: 0 });
    assert.equal(r.statusCode.value, StatusCodes.Good.value, nodeId);
    for (const ref of r.references) {
      const id = ref.nodeId.toString().replace(/^ns=0;/, "");
      if (seen.has(id) || id.startsWith("ns=1;")) continue;
      seen.add(id);
      queue.push(id);
    }
    const attrs = await session.read([AttributeIds.NodeClass, AttributeIds.BrowseName, AttributeIds.DisplayName]
      .map((attributeId) => ({ nodeId, attributeId })));
    for (const a of attrs) assert.equal(a.statusCode.value, StatusCodes.Good.value, `${nodeId} attribute`);
  }
  assert.ok(visited > 50, `only ${visited} standard nodes`);
  for (const id of ["i=2256", "i=11704", "i=45", "i=2259"]) assert.ok(seen.has(id), `${id} not reached`);
});

test("diagnostics: ServerDiagnosticsSummary counts this session, and EnabledFlag is true", async () => {
  const [summary, current, enabled] = await session.read(
    [2275, 2277, 2294].map((i) => ({ nodeId: `i=${i}`, attributeId: AttributeIds.Value })));
  for (const v of [summary, current, enabled]) assert.equal(v.statusCode.value, StatusCodes.Good.value);
  assert.equal(current.value.dataType, DataType.UInt32);
  assert.ok(current.value.value >= 1);
  assert.equal(summary.value.value.currentSessionCount, current.value.value);
  assert.equal(enabled.value.value, true);
});

const expected = {
  I2: [DataType.Int16, -1234], UI2: [DataType.UInt16, 54321], I4: [DataType.Int32, -123456789],
  UI4: [DataType.UInt32, 3000000000], R4: [DataType.Float, 1.5], BOOL: [DataType.Boolean, true],
  STR: [DataType.String, "HELLO"],
  A_I1: [DataType.SByte, [-1, 2, -3, 4]], A_UI1: [DataType.Byte, [1, 2, 3, 250]],
  A_I2: [DataType.Int16, [-1, 0, 1]], A_UI2: [DataType.UInt16, [1, 2, 65535]],
  A_I4: [DataType.Int32, [-100000, 100000]], A_UI4: [DataType.UInt32, [1, 4000000000]],
  A_R4: [DataType.Float, [0.5, -2.25]], A_BOOL: [DataType.Boolean, [true, false, true, false, true]],
};

test("read: all fifteen types with the right DataType, rank and value", async () => {
  const names = Object.keys(expected);
  const values = await session.read(names.map((n) => ({ nodeId: `ns=1;s=${n}`, attributeId: AttributeIds.Value })));
  const types = await session.read(names.map((n) => ({ nodeId: `ns=1;s=${n}`, attributeId: AttributeIds.DataType })));
  const ranks = await session.read(names.map((n) => ({ nodeId: `ns=1;s=${n}`, attributeId: AttributeIds.ValueRank })));
  names.forEach((n, i) => {
    const [type, value] = expected[n];
    assert.equal(values[i].statusCode.value, StatusCodes.Good.value, n);
    assert.equal(values[i].value.dataType, type, n);
    assert.equal(types[i].value.value.value, type, `${n} DataType attribute`);
    assert.equal(ranks[i].value.value, Array.isArray(value) ? 1 : -1, `${n} ValueRank`);
    const got = values[i].value.value;
    assert.deepEqual(Array.isArray(value) ? Array.from(got) : got, value, n);
  });
});

test("write and read back; refusals for rights and type", async () => {
  const w = (nodeId, dataType, value) => session.write({
    nodeId, attributeId: AttributeIds.Value,
    value: { value: { dataType, value, arrayType: ArrayBuffer.isView(value) ? VariantArrayType.Array : VariantArrayType.Scalar } },
  });
  assert.equal((await w("ns=1;s=I2", DataType.Int16, 321)).value, StatusCodes.Good.value);
  assert.equal((await session.read({ nodeId: "ns=1;s=I2" })).value.value, 321);
  assert.equal((await w("ns=1;s=A_UI2", DataType.UInt16, new Uint16Array([9, 8, 7]))).value, StatusCodes.Good.value);
  assert.deepEqual(Array.from((await session.read({ nodeId: "ns=1;s=A_UI2" })).value.value), [9, 8, 7]);
  assert.equal((await w("ns=1;s=STR", DataType.String, "ABC")).value, StatusCodes.Good.value);
  assert.equal((await session.read({ nodeId: "ns=1;s=STR" })).value.value, "ABC");
  if (hostPath.includes("planthost")) {
    // On a PLC, a string longer than the tag's 8 characters is refused whole, not cut short.
    assert.equal((await w("ns=1;s=STR", DataType.String, "ABCDEFGHI")).value, StatusCodes.BadOutOfRange.value);
    assert.equal((await session.read({ nodeId: "ns=1;s=STR" })).value.value, "ABC");
  }

  assert.equal((await w("ns=1;s=ReadOnly", DataType.Int16, 1)).value, StatusCodes.BadNotWritable.value);
  assert.equal((await w("ns=1;s=I2", DataType.Double, 1.0)).value, StatusCodes.BadTypeMismatch.value);
  const wo = await session.read({ nodeId: "ns=1;s=WriteOnly" });
  assert.equal(wo.statusCode.value, StatusCodes.BadNotReadable.value);
});

test("subscription at 100 ms sees the PLC value change", async () => {
  const sub = ClientSubscription.create(session, {
    requestedPublishingInterval: 100, requestedLifetimeCount: 600, requestedMaxKeepAliveCount: 10,
    maxNotificationsPerPublish: 1000, publishingEnabled: true, priority: 1,
  });
  await new Promise((resolve, reject) => { sub.once("started", resolve); sub.once("internal_error", reject); });
  const item = ClientMonitoredItem.create(sub, { nodeId: "ns=1;s=Counter", attributeId: AttributeIds.Value },
    { samplingInterval: 100, discardOldest: true, queueSize: 10 }, TimestampsToReturn.Both);
  const seen = [];
  item.on("changed", (dv) => seen.push(dv));
  await waitFor(() => new Set(seen.map((d) => d.value.value)).size >= 5, 5000, "five counter changes");
  assert.ok(seen.every((d) => d.value.dataType === DataType.Int32));

  // PLC failure shows as BadCommunicationError, then recovery brings Good values back.
  await host.command("fail");
  await waitFor(() => seen.length > 0 && seen[seen.length - 1].statusCode.value === StatusCodes.BadCommunicationError.value,
    5000, "BadCommunicationError");
  const failedRead = await session.read({ nodeId: "ns=1;s=I4" });
  assert.equal(failedRead.statusCode.value, StatusCodes.BadCommunicationError.value);
  await host.command("recover");
  await waitFor(() => seen[seen.length - 1].statusCode.value === StatusCodes.Good.value, 5000, "Good again");
  await sub.terminate();
});

test("shutdown notice: ServerStatus goes to Shutdown before the session ends", async () => {
  const sub = ClientSubscription.create(session, {
    requestedPublishingInterval: 100, requestedLifetimeCount: 600, requestedMaxKeepAliveCount: 10,
    publishingEnabled: true,
  });
  await new Promise((resolve) => sub.once("started", resolve));
  const item = ClientMonitoredItem.create(sub, { nodeId: "i=2259", attributeId: AttributeIds.Value },
    { samplingInterval: 100, queueSize: 1 }, TimestampsToReturn.Both);
  const states = [];
  item.on("changed", (dv) => states.push(dv.value.value));
  await waitFor(() => states.includes(0), 3000, "state Running");
  host.write("shutdown maintenance");
  await waitFor(() => states.includes(4), 3000, "state Shutdown (4)");
  try {
    const reason = await session.read({ nodeId: "i=2993" });
    if (reason.statusCode.value === StatusCodes.Good.value) assert.equal(reason.value.value.text, "maintenance");
  } catch (_) { /* the session may already be closing */ }
});

test("the server stops cleanly afterwards", async () => {
  try { await session.close(); } catch (_) { /* closed by the shutdown already */ }
  session = null;
  try { await client.disconnect(); } catch (_) { /* idem */ }
  client = null;
  const exited = new Promise((resolve) => host.process.once("exit", (code) => resolve(code)));
  host.write("quit");
  const code = await Promise.race([exited, sleep(10000).then(() => "still running")]);
  assert.equal(code, 0);
});
