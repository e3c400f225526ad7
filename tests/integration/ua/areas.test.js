// Every GE memory area through a real OPC UA client (node-opcua-client) against the whole
// core (ua_areashost): tags of R, AI, AQ, I, Q, T, M, G, S, SA, SB and SC loaded from a
// configuration file, read, written and subscribed through plcsim; an address past %AI's
// size; the CPU's state in the PLC's diagnostics as the simulated CPU stops and runs again.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const {
  AttributeIds, DataType, StatusCodes, VariantArrayType, ClientSubscription, ClientMonitoredItem,
  TimestampsToReturn,
} = require("node-opcua-client");
const { startHost, openNoneSession, waitFor } = require("./host.js");

const hostPath = process.env.UA_TESTHOST;
const port = Number(process.env.UA_PORT || 28460);
const endpoint = `opc.tcp://127.0.0.1:${port}`;
let host, client, session;

const id = (name) => `ns=1;s=${name}`;
const diag = (name) => `ns=1;s=Areas/Diagnostics/${name}`;
const read = async (nodeId) => session.read({ nodeId, attributeId: AttributeIds.Value, maxAge: 0 });
const write = (name, dataType, value) => session.write({
  nodeId: id(name), attributeId: AttributeIds.Value,
  value: { value: { dataType, value, arrayType: Array.isArray(value) || ArrayBuffer.isView(value)
    ? VariantArrayType.Array : VariantArrayType.Scalar } },
});
// The simulated PLC's word or bit, as the host reads it.
async function peek(name) {
  const line = host.waitForLine(`VALUE ${name}=`, 5000);
  host.write(`peek ${name}`);
  return Number((await line).split("=")[1]);
}

before(async () => {
  assert.ok(hostPath, "UA_TESTHOST must name the areas host program");
  host = await startHost(hostPath, ["--port", String(port), "--plc", process.env.UA_PLC || "127.0.13.1",
    "--errors", process.env.UA_ERRORS || ""]);
  ({ client, session } = await openNoneSession(endpoint, 60000));
});

after(async () => {
  try { if (session) await session.close(); } catch (_) { /* the server may be gone */ }
  try { if (client) await client.disconnect(); } catch (_) { /* idem */ }
  if (host) await host.stop();
});

const expected = {
  R_I2: [DataType.Int16, -5], AI_I2: [DataType.Int16, 100], AI_R4: [DataType.Float, 1.5],
  AI_BOOL: [DataType.Boolean, true], AQ_UI2: [DataType.UInt16, 0], AQ_I4_ARR: [DataType.Int32, [0, 0]],
  I_BOOL: [DataType.Boolean, true], I_WORD: [DataType.UInt16, 0x1234],
  I_BITS: [DataType.Boolean, [false, false, true, false, false, false, false, false, false, false, false, true]],
  Q_BOOL: [DataType.Boolean, false], T_BOOL: [DataType.Boolean, true], M_I4: [DataType.Int32, 65538],
  M_STR: [DataType.String, "HELLO"], G_R4: [DataType.Float, 1.0], S_BOOL: [DataType.Boolean, true],
  SA_BOOL: [DataType.Boolean, false], SB_UI2: [DataType.UInt16, 0x0102], SC_BOOL: [DataType.Boolean, true],
  AI_NEAR: [DataType.Int16, 77],
};

test("read: a tag of every area with its value and type", async () => {
  const names = Object.keys(expected);
  const values = await session.read(names.map((n) => ({ nodeId: id(n), attributeId: AttributeIds.Value, maxAge: 0 })));
  names.forEach((n, i) => {
    const [type, value] = expected[n];
    assert.equal(values[i].statusCode.value, StatusCodes.Good.value, n);
    assert.equal(values[i].value.dataType, type, n);
    const got = values[i].value.value;
    assert.deepEqual(Array.isArray(value) ? Array.from(got) : got, value, n);
  });
});

test("an address past the area's size is BadOutOfRange; its neighbour stays Good; the PLC says why", async () => {
  assert.equal((await read(id("AI_PAST"))).statusCode.value, StatusCodes.BadOutOfRange.value);
  const near = await read(id("AI_NEAR"));
  assert.equal(near.statusCode.value, StatusCodes.Good.value);
  assert.equal(near.value.value, 77);
  // Polled side by side (one block), the refused tag keeps its status, the other its value,
  // and the PLC's diagnostics say why.
  const subscription = ClientSubscription.create(session, {
    requestedPublishingInterval: 100, requestedMaxKeepAliveCount: 20, publishingEnabled: true,
  });
  const last = {};
  for (const name of ["AI_NEAR", "AI_PAST"]) {
    const item = ClientMonitoredItem.create(subscription, { nodeId: id(name), attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
    item.on("changed", (dv) => { last[name] = dv; });
  }
  await waitFor(() => last.AI_NEAR && last.AI_PAST, 10000, "first notifications");
  assert.equal(last.AI_PAST.statusCode.value, StatusCodes.BadOutOfRange.value);
  assert.equal(last.AI_NEAR.statusCode.value, StatusCodes.Good.value);
  assert.equal(last.AI_NEAR.value.value, 77);
  await waitFor(async () => (await read(diag("LastResultCode"))).value.value === 66, 10000, "the refusal's code");
  assert.ok((await read(diag("LastResultText"))).value.value.length > 0);
  await host.command("set AI100=78");
  await waitFor(() => last.AI_NEAR.value.value === 78, 10000, "the neighbour's new value");
  assert.equal(last.AI_PAST.statusCode.value, StatusCodes.BadOutOfRange.value);
  await subscription.terminate();
});

test("write: words, bits and bytes reach exactly their memory", async () => {
  assert.equal((await write("AQ_UI2", DataType.UInt16, 4242)).value, StatusCodes.Good.value);
  assert.equal(await peek("AQ1"), 4242);
  assert.equal((await write("AQ_I4_ARR", DataType.Int32, new Int32Array([65538, -1]))).value, StatusCodes.Good.value);
  assert.deepEqual([await peek("AQ10"), await peek("AQ11"), await peek("AQ12"), await peek("AQ13")], [1, 2, 65535, 65535]);
  // %Q3 alone: %Q2 and %Q4 beside it keep their values.
  assert.equal((await write("Q_BOOL", DataType.Boolean, true)).value, StatusCodes.Good.value);
  assert.deepEqual([await peek("Q2"), await peek("Q3"), await peek("Q4")], [1, 1, 1]);
  assert.equal((await write("Q_BOOL", DataType.Boolean, false)).value, StatusCodes.Good.value);
  assert.deepEqual([await peek("Q2"), await peek("Q3"), await peek("Q4")], [1, 0, 1]);
  assert.equal((await write("Q_BITS", DataType.Boolean, [true, false, true, false, true])).value, StatusCodes.Good.value);
  const bits = [];
  for (let q = 9; q <= 15; ++q) bits.push(await peek(`Q${q}`));
  assert.deepEqual(bits, [0, 1, 0, 1, 0, 1, 0]);
  // Three bytes, %Q33-%Q56: the fourth byte (%Q57-%Q64, all on) is never touched.
  assert.equal((await write("Q_BYTES", DataType.Byte, new Uint8Array([1, 2, 3]))).value, StatusCodes.Good.value);
  assert.deepEqual([await peek("Q33"), await peek("Q42"), await peek("Q49"), await peek("Q50")], [1, 1, 1, 1]);
  assert.deepEqual([await peek("Q57"), await peek("Q64")], [1, 1]);
  const back = await read(id("Q_BYTES"));
  assert.deepEqual(Array.from(back.value.value), [1, 2, 3]);
  assert.equal((await write("M_STR", DataType.String, "AB")).value, StatusCodes.Good.value);
  assert.equal((await read(id("M_STR"))).value.value, "AB");
});

test("the system status bits are read-only; writes are refused", async () => {
  const level = await session.read({ nodeId: id("S_BOOL"), attributeId: AttributeIds.AccessLevel });
  assert.equal(level.value.value & 2, 0);
  assert.equal((await write("S_BOOL", DataType.Boolean, false)).value, StatusCodes.BadNotWritable.value);
  assert.equal(await peek("S1"), 1);
});

test("subscription: bit and word changes the PLC makes reach the client", async () => {
  const subscription = ClientSubscription.create(session, {
    requestedPublishingInterval: 100, requestedMaxKeepAliveCount: 20, publishingEnabled: true,
  });
  const last = {};
  for (const name of ["I_BOOL", "AI_I2", "SB_UI2"]) {
    const item = ClientMonitoredItem.create(subscription, { nodeId: id(name), attributeId: AttributeIds.Value },
      { samplingInterval: 100, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
    item.on("changed", (dv) => { last[name] = dv; });
  }
  await waitFor(() => last.I_BOOL && last.AI_I2 && last.SB_UI2, 10000, "first values");
  assert.equal(last.I_BOOL.value.value, true);
  await host.command("set I17=0");
  await host.command("set AI5=-3");
  await waitFor(() => last.I_BOOL.value.value === false && last.AI_I2.value.value === -3, 10000, "changed values");
  assert.equal(last.SB_UI2.statusCode.value, StatusCodes.Good.value);
  await subscription.terminate();
});

test("the CPU's state follows the PLC from run to stop and back; values stay Good", async () => {
  await waitFor(async () => (await read(diag("CpuState"))).value.value === "run, outputs enabled", 10000, "run");
  assert.equal((await read(diag("CpuRunning"))).value.value, true);
  assert.equal((await read(diag("SweepTimeMs"))).value.dataType, DataType.UInt16);
  await host.command("cpu stop");
  // Any answer carries the new state: a Read that goes to the PLC brings it.
  await waitFor(async () => {
    await read(id("T_BOOL"));
    return (await read(diag("CpuState"))).value.value === "stop, outputs disabled";
  }, 10000, "stop");
  assert.equal((await read(diag("CpuRunning"))).value.value, false);
  assert.equal((await read(diag("PlcStatusWord"))).value.value >> 12, 2);
  const t = await read(id("T_BOOL"));
  assert.equal(t.statusCode.value, StatusCodes.Good.value);
  assert.equal(t.value.value, true);
  await host.command("cpu run");
  await waitFor(async () => {
    await read(id("T_BOOL"));
    return (await read(diag("CpuState"))).value.value === "run, outputs enabled";
  }, 10000, "run again");
});
