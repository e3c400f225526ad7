// The notification-lag benchmark's client: node-opcua subscribes to <count> tags L0 ...
// (publishing and sampling at <interval> ms, queue size 1) and takes, for every value it
// receives after <warmup> s, the time of receipt minus the value's SourceTimestamp.
// Usage: node lag_client.js <endpoint> <count> <seconds> [warmup s] [interval ms]
// Prints one line: "LAG count <n> p50 <ms> p99 <ms> max <ms> notifications/s <x>".
"use strict";
const path = require("node:path");
const modules = path.join(__dirname, "..", "tests", "integration", "ua", "node_modules");
const {
  OPCUAClient, AttributeIds, TimestampsToReturn, MessageSecurityMode, SecurityPolicy, ClientSubscription,
  ClientMonitoredItemGroup, StatusCodes,
} = require(path.join(modules, "node-opcua-client"));

const [endpoint, countText, secondsText, warmupText, intervalText] = process.argv.slice(2);
const count = Number(countText || 1000);
const seconds = Number(secondsText || 20);
const warmup = Number(warmupText || 3);
const interval = Number(intervalText || 100);

(async () => {
  const client = OPCUAClient.create({
    applicationName: "zentarc-lag",
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0 },
    keepSessionAlive: false,
  });
  await client.connect(endpoint);
  const session = await client.createSession();
  const subscription = ClientSubscription.create(session, {
    requestedPublishingInterval: interval, requestedLifetimeCount: 600, requestedMaxKeepAliveCount: 10,
    maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1,
  });
  await new Promise((resolve, reject) => {
    subscription.once("started", resolve);
    subscription.once("internal_error", reject);
  });
  const items = [];
  for (let i = 0; i < count; ++i) items.push({ nodeId: `ns=1;s=L${i}`, attributeId: AttributeIds.Value });
  const group = ClientMonitoredItemGroup.create(subscription, items,
    { samplingInterval: interval, queueSize: 1, discardOldest: true }, TimestampsToReturn.Both);
  const lags = [];
  let measuring = false;
  group.on("changed", (_item, dataValue) => {
    if (!measuring || dataValue.statusCode.value !== StatusCodes.Good.value || !dataValue.sourceTimestamp) return;
    lags.push(Date.now() - dataValue.sourceTimestamp.getTime());
  });
  await new Promise((r) => setTimeout(r, warmup * 1000));
  measuring = true;
  await new Promise((r) => setTimeout(r, seconds * 1000));
  measuring = false;
  lags.sort((a, b) => a - b);
  const at = (p) => (lags.length ? lags[Math.min(lags.length - 1, Math.floor(p * (lags.length - 1) + 0.5))] : -1);
  console.log(`LAG count ${lags.length} p50 ${at(0.5)} p99 ${at(0.99)} max ${at(1)} notifications/s ${(lags.length / seconds).toFixed(0)}`);
  await subscription.terminate();
  await session.close();
  await client.disconnect();
  process.exit(0);
})().catch((err) => {
  console.log(`LAG failed ${err.message}`);
  process.exit(1);
});
