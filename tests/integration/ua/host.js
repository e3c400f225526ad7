// What the node-opcua tests share: the host program that runs our server (ua_testhost or
// ua_planthost), which says READY when it serves, answers each command line with "OK <line>"
// and ends on "quit"; a session over SecurityPolicy None; and bounded waiting.
"use strict";
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const readline = require("node:readline");
const { OPCUAClient, MessageSecurityMode, SecurityPolicy } = require("node-opcua-client");

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Looks at the predicate every `every` ms for at most `ms`; fails the test naming `what`.
async function waitFor(predicate, ms, what, every = 50) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await predicate()) return;
    await sleep(every);
  }
  assert.fail(`timed out waiting for ${what}`);
}

class Host {
  constructor(hostPath, args) {
    this.process = spawn(hostPath, args, { stdio: ["pipe", "pipe", "inherit"] });
    this.lines = readline.createInterface({ input: this.process.stdout });
  }

  // The first line from now on that starts with `prefix`; fails at once when the host ends.
  waitForLine(prefix, ms) {
    return new Promise((resolve, reject) => {
      const done = (fn, arg) => {
        clearTimeout(timer);
        this.lines.off("line", onLine);
        this.lines.off("close", onClose);
        fn(arg);
      };
      const timer = setTimeout(() => done(reject, new Error(`no "${prefix}" from the host in ${ms} ms`)), ms);
      const onLine = (line) => { if (line.startsWith(prefix)) done(resolve, line); };
      const onClose = () => done(reject, new Error(`the host ended before saying "${prefix}"`));
      this.lines.on("line", onLine);
      this.lines.on("close", onClose);
    });
  }

  write(line) {
    this.process.stdin.write(line + "\n");
  }

  // Sends a command and waits for the host to have carried it out.
  async command(cmd, ms = 15000) {
    const ack = this.waitForLine(`OK ${cmd.split(" ")[0]}`, ms);
    this.write(cmd);
    await ack;
  }

  // Asks it to quit, and kills it when it has not ended within 5 s.
  async stop() {
    if (this.process.exitCode !== null || this.process.signalCode !== null) return;
    this.write("quit");
    await new Promise((r) => { this.process.once("exit", r); setTimeout(r, 5000); });
    if (this.process.exitCode === null) this.process.kill();
  }
}

// Starts the host and waits for it to serve.
async function startHost(hostPath, args, ms = 15000) {
  const host = new Host(hostPath, args);
  await host.waitForLine("READY", ms);
  return host;
}

// An anonymous session on `endpoint` over SecurityPolicy None, with no retries: { client, session }.
async function openNoneSession(endpoint, requestedSessionTimeout) {
  const client = OPCUAClient.create({
    applicationName: "zentarc-interop",  // the one client certificate the interop tests make
    endpointMustExist: false,
    securityMode: MessageSecurityMode.None,
    securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
    requestedSessionTimeout,
  });
  await client.connect(endpoint);
  return { client, session: await client.createSession() };
}

module.exports = { Host, startHost, openNoneSession, sleep, waitFor };
