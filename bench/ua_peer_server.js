// The benchmark's peer: a node-opcua server holding the same nodes as ours (ns=1;s=T0 ...
// Int32 variables under Objects), optionally changing every value every 100 ms.
// Usage: node ua_peer_server.js <port> <tagCount> <change 0|1>. Prints "READY <port>";
// ends on "quit" on stdin (or when stdin closes).
"use strict";
const path = require("node:path");
const readline = require("node:readline");
const modules = path.join(__dirname, "..", "tests", "integration", "ua", "node_modules");
const { OPCUAServer } = require(path.join(modules, "node-opcua-server"));
const { MessageSecurityMode } = require(path.join(modules, "node-opcua-service-secure-channel"));
const { SecurityPolicy } = require(path.join(modules, "node-opcua-secure-channel"));
const { Variant, DataType } = require(path.join(modules, "node-opcua-variant"));
const { StatusCodes } = require(path.join(modules, "node-opcua-status-code"));

const port = Number(process.argv[2] || 28490);
const count = Number(process.argv[3] || 10000);
const change = process.argv[4] === "1";

(async () => {
  const server = new OPCUAServer({
    port,
    hostname: "127.0.0.1",
    maxConnectionsPerEndpoint: 100,
    // Like ours: SecurityPolicy None only, anonymous.
    securityModes: [MessageSecurityMode.None],
    securityPolicies: [SecurityPolicy.None],
    serverCapabilities: {
      maxSessions: 100,
      maxSubscriptions: 100,
      maxMonitoredItems: 100000,
      maxMonitoredItemsPerSubscription: 100000,
      operationLimits: { maxNodesPerRead: 10000, maxMonitoredItemsPerCall: 10000 },
    },
  });
  await server.initialize();
  const ns = server.engine.addressSpace.getOwnNamespace();
  const objects = server.engine.addressSpace.rootFolder.objects;
  const variables = [];
  for (let i = 0; i < count; i++) {
    variables.push(ns.addVariable({
      organizedBy: objects, browseName: `T${i}`, nodeId: `s=T${i}`, dataType: "Int32",
      minimumSamplingInterval: 50,
      value: new Variant({ dataType: DataType.Int32, value: 0 }),
    }));
  }
  let n = 0;
  if (change) {
    setInterval(() => {
      n++;
      for (const v of variables) v.setValueFromSource(new Variant({ dataType: DataType.Int32, value: n }), StatusCodes.Good);
    }, 100);
  }
  await server.start();
  process.stdout.write(`READY ${port}\n`);
  const rl = readline.createInterface({ input: process.stdin });
  const stop = async () => { await server.shutdown(0); process.exit(0); };
  rl.on("line", (line) => { if (line.trim() === "quit") stop(); });
  rl.on("close", stop);
})().catch((e) => { console.error(e); process.exit(1); });
