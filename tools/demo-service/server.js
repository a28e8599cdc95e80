'use strict';

// Corvane demo service: the account API (GraphQL on /graphql) and the VPN API
// (/api/client/servers, /connect, /disconnect) on one loopback port.
//
//   node server.js [--port N] [--host ADDRESS] [--wg-endpoint HOST:PORT]
//                  [--wg-server-private-key KEY] [--wg-subnet-prefix 10.66.66]
//                  [--token-lifetime-seconds N] [--wg-interface NAME]
//
// With --wg-interface, every issued configuration's public key is added as a peer of that local
// WireGuard interface (through wireguard-go's control socket, or wg set), so the configurations
// work against a real local peer.
//
// The first line printed is "Corvane demo service listening on http://HOST:PORT".

const http = require('http');
const { AccountApi } = require('./lib/accountApi');
const { VpnApi } = require('./lib/vpnApi');
const { ConfigIssuer, addPeer, generateKeyPair } = require('./lib/wireguard');

function parseArguments(argv) {
  const options = {
    port: 0,
    host: '127.0.0.1',
    wgEndpoint: '127.0.0.1:51820',
    wgServerPrivateKey: process.env.CORVANE_DEMO_WG_SERVER_PRIVATE_KEY || generateKeyPair().privateKey,
    wgSubnetPrefix: '10.66.66',
    // Longer than the client's 60-hour renewal, so a connect never meets an expired token.
    tokenLifetimeSeconds: 61 * 3600,
    wgInterface: '',
  };
  const names = {
    '--port': ['port', Number],
    '--host': ['host', String],
    '--wg-endpoint': ['wgEndpoint', String],
    '--wg-server-private-key': ['wgServerPrivateKey', String],
    '--wg-subnet-prefix': ['wgSubnetPrefix', String],
    '--token-lifetime-seconds': ['tokenLifetimeSeconds', Number],
    '--wg-interface': ['wgInterface', String],
  };
  for (let i = 2; i < argv.length; i += 2) {
    const entry = names[argv[i]];
    if (!entry || i + 1 >= argv.length) {
      console.error(`unknown or incomplete option: ${argv[i]}`);
      process.exit(2);
    }
    options[entry[0]] = entry[1](argv[i + 1]);
  }
  return options;
}

function readBody(request) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    request.on('data', (chunk) => chunks.push(chunk));
    request.on('end', () => resolve(Buffer.concat(chunks).toString('utf8')));
    request.on('error', reject);
  });
}

function createServer(options) {
  const accountApi = new AccountApi({ tokenLifetimeSeconds: options.tokenLifetimeSeconds });
  const configIssuer = new ConfigIssuer({
    serverPrivateKey: options.wgServerPrivateKey,
    endpoint: options.wgEndpoint,
    subnetPrefix: options.wgSubnetPrefix,
  });
  const registerPeer = options.wgInterface
    ? (issued) => addPeer(options.wgInterface, issued.publicKey, issued.address)
    : null;
  const vpnApi = new VpnApi({ accountApi, configIssuer, registerPeer });

  const routes = {
    'POST /graphql': (body, auth) => accountApi.handle(body, auth),
    'GET /api/client/servers': () => vpnApi.servers(),
    'POST /api/client/connect': (body, auth) => vpnApi.connect(body, auth),
    'POST /api/client/disconnect': (body, auth) => vpnApi.disconnect(body, auth),
  };

  const server = http.createServer(async (request, response) => {
    const path = new URL(request.url, 'http://localhost').pathname;
    const route = routes[`${request.method} ${path}`];
    let status = 404;
    let reply = { error: 'not found' };
    try {
      const body = await readBody(request);
      if (route) [status, reply] = await route(body, request.headers.authorization);
    } catch (error) {
      status = 500;
      reply = { error: 'internal error' };
      console.error(error);
    }
    // One line per request; bodies are never logged, they hold passwords and keys.
    console.log(`${new Date().toISOString()} ${request.method} ${path} ${status}`);
    response.writeHead(status, { 'Content-Type': 'application/json' });
    response.end(JSON.stringify(reply));
  });
  return { server, accountApi, vpnApi, configIssuer };
}

if (require.main === module) {
  const options = parseArguments(process.argv);
  const { server, configIssuer } = createServer(options);
  server.listen(options.port, options.host, () => {
    const { port } = server.address();
    console.log(`Corvane demo service listening on http://${options.host}:${port}`);
    console.log(`WireGuard peer: public key ${configIssuer.serverPublicKey}, endpoint ${options.wgEndpoint}`);
  });
  const stop = () => server.close(() => process.exit(0));
  process.on('SIGTERM', stop);
  process.on('SIGINT', stop);
}

module.exports = { createServer, parseArguments };
