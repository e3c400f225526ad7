// node-opcua-client against our server's security: every policy and mode, anonymous and
// user-name sessions, its certificate refused until moved to trusted/certs, a reader's write
// refused. The server is ua_testhost with a PKI folder and users in a temp folder. Loopback only.
"use strict";
const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const {
  OPCUAClient, AttributeIds, DataType, StatusCodes, MessageSecurityMode, SecurityPolicy, UserTokenType,
} = require("node-opcua-client");
const { OPCUACertificateManager } = require("node-opcua-certificate-manager");
const { startHost } = require("./host.js");

const hostPath = process.env.UA_TESTHOST;
const port = Number(process.env.UA_PORT || 28452);
const endpoint = `opc.tcp://127.0.0.1:${port}`;
const work = fs.mkdtempSync(path.join(os.tmpdir(), "zentarc-security-"));
const serverPki = path.join(work, "server-pki");
let host, certificateManager;

function makeClient(securityPolicy, securityMode, extra = {}) {
  return OPCUAClient.create({
    ...extra,
    applicationName: "zentarc-security-interop",
    endpointMustExist: false,
    securityMode,
    securityPolicy,
    clientCertificateManager: certificateManager,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
    requestedSessionTimeout: 30000,
  });
}

// Runs fn with a session of the given identity, then closes everything.
async function withSession(policy, mode, identity, fn) {
  const client = makeClient(policy, mode);
  await client.connect(endpoint);
  try {
    const session = await client.createSession(identity);
    try {
      return await fn(session);
    } finally {
      await session.close();
    }
  } finally {
    await client.disconnect();
  }
}

const operator = { type: UserTokenType.UserName, userName: "operator", password: "op-secret" };
const viewer = { type: UserTokenType.UserName, userName: "viewer", password: "view-secret" };

before(async () => {
  assert.ok(hostPath, "UA_TESTHOST must name the test host program");
  certificateManager = new OPCUACertificateManager({
    rootFolder: path.join(work, "client-pki"), automaticallyAcceptUnknownCertificate: true,
  });
  await certificateManager.initialize();
  host = await startHost(hostPath, ["--port", String(port),
    "--security", "None,Basic256Sha256,Aes128_Sha256_RsaOaep,Aes256_Sha256_RsaPss",
    "--pki", serverPki, "--anonymous", "read",
    "--user", "operator:writer:op-secret", "--user", "viewer:reader:view-secret"], 20000);
});

after(async () => {
  try { await certificateManager.dispose(); } catch (_) { /* already gone */ }
  if (host) await host.stop();
  fs.rmSync(work, { recursive: true, force: true });
});

test("an unknown client certificate is refused, then accepted once moved to trusted/certs", async () => {
  const client = makeClient(SecurityPolicy.Aes256_Sha256_RsaPss, MessageSecurityMode.SignAndEncrypt);
  await assert.rejects(client.connect(endpoint));
  try { await client.disconnect(); } catch (_) { /* never connected */ }
  const rejected = path.join(serverPki, "rejected", "certs");
  const files = fs.readdirSync(rejected);
  assert.equal(files.length, 1, "the server kept one copy of our certificate");
  fs.renameSync(path.join(rejected, files[0]), path.join(serverPki, "trusted", "certs", files[0]));
  const value = await withSession(SecurityPolicy.Aes256_Sha256_RsaPss, MessageSecurityMode.SignAndEncrypt,
    undefined, (s) => s.read({ nodeId: "ns=1;s=I2", attributeId: AttributeIds.Value }));
  assert.equal(value.statusCode.value, StatusCodes.Good.value);
  assert.equal(value.value.value, -1234);
});

for (const policy of ["Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"]) {
  for (const mode of ["Sign", "SignAndEncrypt"]) {
    test(`${policy} ${mode}: anonymous reads, a writer writes, a reader is refused`, async () => {
      const p = SecurityPolicy[policy];
      const m = MessageSecurityMode[mode];
      const read = await withSession(p, m, undefined,
        (s) => s.read({ nodeId: "ns=1;s=A_UI2", attributeId: AttributeIds.Value }));
      assert.deepEqual(Array.from(read.value.value), [1, 2, 65535]);
      const anonymousWrite = await withSession(p, m, undefined, (s) => s.write({
        nodeId: "ns=1;s=I4", attributeId: AttributeIds.Value,
        value: { value: { dataType: DataType.Int32, value: 5 } } }));
      assert.equal(anonymousWrite.value, StatusCodes.BadUserAccessDenied.value);
      const written = await withSession(p, m, operator, async (s) => {
        const st = await s.write({ nodeId: "ns=1;s=I4", attributeId: AttributeIds.Value,
          value: { value: { dataType: DataType.Int32, value: 424242 } } });
        const back = await s.read({ nodeId: "ns=1;s=I4", attributeId: AttributeIds.Value, maxAge: 0 });
        return [st, back.value.value];
      });
      assert.equal(written[0].value, StatusCodes.Good.value);
      assert.equal(written[1], 424242);
      const refused = await withSession(p, m, viewer, async (s) => {
        const st = await s.write({ nodeId: "ns=1;s=I4", attributeId: AttributeIds.Value,
          value: { value: { dataType: DataType.Int32, value: 1 } } });
        const levels = await s.read([
          { nodeId: "ns=1;s=I4", attributeId: AttributeIds.AccessLevel },
          { nodeId: "ns=1;s=I4", attributeId: AttributeIds.UserAccessLevel }]);
        return [st, levels.map((l) => l.value.value)];
      });
      assert.equal(refused[0].value, StatusCodes.BadUserAccessDenied.value);
      assert.deepEqual(refused[1], [3, 1], "a reader's UserAccessLevel drops CurrentWrite");
    });
  }
}

// The server takes no clear-text password on a None channel, so this works only with the
// password encrypted by the token policy's own SecurityPolicy.
test("None: a user name is accepted with its password encrypted by the token's policy", async () => {
  const who = await withSession(SecurityPolicy.None, MessageSecurityMode.None, operator, async (s) => {
    const st = await s.write({ nodeId: "ns=1;s=UI2", attributeId: AttributeIds.Value,
      value: { value: { dataType: DataType.UInt16, value: 777 } } });
    return st.value;
  });
  assert.equal(who, StatusCodes.Good.value);
});

test("a wrong password is refused on every policy", async () => {
  for (const policy of ["None", "Basic256Sha256"]) {
    const client = makeClient(SecurityPolicy[policy],
      policy === "None" ? MessageSecurityMode.None : MessageSecurityMode.SignAndEncrypt);
    await client.connect(endpoint);
    try {
      await assert.rejects(client.createSession({ type: UserTokenType.UserName, userName: "operator", password: "nope" }));
    } finally {
      await client.disconnect();
    }
  }
});

test("Aes256_Sha256_RsaPss SignAndEncrypt: large messages in many chunks, and token renewals", async () => {
  // The server grants tokens of 10 s at the least; the client renews after 2 s.
  const client = makeClient(SecurityPolicy.Aes256_Sha256_RsaPss, MessageSecurityMode.SignAndEncrypt,
    { defaultSecureTokenLifetime: 10000, tokenRenewalInterval: 2000 });
  await client.connect(endpoint);
  let renewals = 0;
  client.on("security_token_renewed", () => { renewals++; });
  try {
    const session = await client.createSession();
    const nodes = [];
    for (let i = 0; i < 4000; i++) nodes.push({ nodeId: i % 2 ? "ns=1;s=A_UI4" : "ns=1;s=STR", attributeId: AttributeIds.Value });
    const end = Date.now() + 6500;
    let reads = 0;
    while (Date.now() < end) {
      const values = await session.read(nodes);
      assert.equal(values.length, 4000);
      assert.equal(values[0].value.value, "HELLO");
      assert.deepEqual(Array.from(values[1].value.value), [1, 4000000000]);
      reads++;
      await new Promise((r) => setTimeout(r, 200));
    }
    assert.ok(reads > 5);
    assert.ok(renewals >= 2, `only ${renewals} token renewals`);
    await session.close();
  } finally {
    await client.disconnect();
  }
});

test("endpoints: each secure policy in both modes, None, and the server's certificate", async () => {
  const client = makeClient(SecurityPolicy.None, MessageSecurityMode.None);
  await client.connect(endpoint);
  try {
    const endpoints = await client.getEndpoints();
    assert.equal(endpoints.length, 7);
    const certificate = fs.readFileSync(path.join(serverPki, "own", "certs", "OPCZentarc.der"));
    for (const e of endpoints) assert.ok(Buffer.compare(e.serverCertificate, certificate) === 0);
    const best = endpoints.reduce((a, b) => (b.securityLevel > a.securityLevel ? b : a));
    assert.equal(best.securityPolicyUri, SecurityPolicy.Aes256_Sha256_RsaPss);
    assert.equal(best.securityMode, MessageSecurityMode.SignAndEncrypt);
  } finally {
    await client.disconnect();
  }
});

// The program's defaults: no None endpoint (a None channel only finds the others), anonymous
// reading. node-opcua collects the certificate over None, then opens the secure channel.
test("secure by default: without a None endpoint, node-opcua connects securely and reads", async () => {
  const otherPort = port + 1;
  const otherPki = path.join(work, "default-pki");
  const other = await startHost(hostPath, ["--port", String(otherPort),
    "--security", "Basic256Sha256,Aes128_Sha256_RsaOaep,Aes256_Sha256_RsaPss", "--pki", otherPki, "--anonymous", "read"],
  20000);
  try {
    const url = `opc.tcp://127.0.0.1:${otherPort}`;
    const first = makeClient(SecurityPolicy.Aes256_Sha256_RsaPss, MessageSecurityMode.SignAndEncrypt);
    await assert.rejects(first.connect(url));
    try { await first.disconnect(); } catch (_) { /* never connected */ }
    const rejected = path.join(otherPki, "rejected", "certs");
    for (const f of fs.readdirSync(rejected)) fs.renameSync(path.join(rejected, f), path.join(otherPki, "trusted", "certs", f));
    const client = makeClient(SecurityPolicy.Aes256_Sha256_RsaPss, MessageSecurityMode.SignAndEncrypt);
    await client.connect(url);
    const session = await client.createSession();
    const v = await session.read({ nodeId: "ns=1;s=I2", attributeId: AttributeIds.Value });
    assert.equal(v.value.value, -1234);
    const w = await session.write({ nodeId: "ns=1;s=I2", attributeId: AttributeIds.Value,
      value: { value: { dataType: DataType.Int16, value: 1 } } });
    assert.equal(w.value, StatusCodes.BadUserAccessDenied.value);
    await session.close();
    await client.disconnect();
    const none = makeClient(SecurityPolicy.None, MessageSecurityMode.None);
    await none.connect(url);
    await assert.rejects(none.createSession());
    await none.disconnect();
  } finally {
    await other.stop();
  }
});
