'use strict';

const { execFile } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const net = require('net');

function base64FromJwk(value) {
  return Buffer.from(value, 'base64url').toString('base64');
}

// A real X25519 key pair in WireGuard's Base64 form.
function generateKeyPair() {
  const { publicKey, privateKey } = crypto.generateKeyPairSync('x25519');
  return {
    publicKey: base64FromJwk(publicKey.export({ format: 'jwk' }).x),
    privateKey: base64FromJwk(privateKey.export({ format: 'jwk' }).d),
  };
}

function publicKeyOf(privateKeyBase64) {
  const raw = Buffer.from(privateKeyBase64, 'base64');
  const key = crypto.createPrivateKey({
    key: { kty: 'OKP', crv: 'X25519', d: raw.toString('base64url'), x: '' },
    format: 'jwk',
  });
  return base64FromJwk(crypto.createPublicKey(key).export({ format: 'jwk' }).x);
}

// Issues client configurations for one WireGuard server peer. Each configuration routes only the
// server's own tunnel address, never 0.0.0.0/0, so trying the demo never takes over a machine's
// traffic.
class ConfigIssuer {
  constructor({ serverPrivateKey, endpoint, subnetPrefix }) {
    this.serverPublicKey = publicKeyOf(serverPrivateKey);
    this.endpoint = endpoint;
    this.subnetPrefix = subnetPrefix;
    this.nextHost = 2;
    this.peers = [];
  }

  serverAddress() {
    return `${this.subnetPrefix}.1`;
  }

  issue() {
    const keys = generateKeyPair();
    const address = `${this.subnetPrefix}.${this.nextHost}`;
    this.nextHost = this.nextHost >= 254 ? 2 : this.nextHost + 1;
    this.peers.push({ publicKey: keys.publicKey, address });
    const config = [
      '[Interface]',
      `PrivateKey = ${keys.privateKey}`,
      `Address = ${address}/32`,
      'MTU = 1280',
      '',
      '[Peer]',
      `PublicKey = ${this.serverPublicKey}`,
      `AllowedIPs = ${this.serverAddress()}/32`,
      `Endpoint = ${this.endpoint}`,
      'PersistentKeepalive = 25',
      '',
    ].join('\n');
    return { config, publicKey: keys.publicKey, address };
  }
}

function addPeerWithTool(wgInterface, publicKey, address) {
  return new Promise((resolve) => {
    execFile('wg', ['set', wgInterface, 'peer', publicKey, 'allowed-ips', `${address}/32`],
      (error, stdout, stderr) => {
        if (error) console.error(`wg set failed: ${stderr || error.message}`);
        resolve();
      });
  });
}

// Adds a peer to a local WireGuard interface. A wireguard-go interface is told through its
// control socket, as a service would through its WireGuard library: no process per connection.
// Any other interface is set with the wg tool. A failure is logged; the configuration is still
// handed out, and the client finds the tunnel does not answer.
function addPeer(wgInterface, publicKey, address) {
  const controlSocket = `/var/run/wireguard/${wgInterface}.sock`;
  if (!fs.existsSync(controlSocket)) return addPeerWithTool(wgInterface, publicKey, address);
  const keyHex = Buffer.from(publicKey, 'base64').toString('hex');
  return new Promise((resolve) => {
    let answer = '';
    const socket = net.createConnection(controlSocket, () => {
      socket.write(`set=1\npublic_key=${keyHex}\nallowed_ip=${address}/32\n\n`);
    });
    socket.setEncoding('utf8');
    socket.on('data', (chunk) => {
      answer += chunk;
      if (answer.endsWith('\n\n')) socket.end();
    });
    socket.on('error', (error) => { answer = error.message; });
    socket.on('close', () => {
      if (!answer.split('\n').includes('errno=0')) console.error(`wg set failed: ${answer.trim()}`);
      resolve();
    });
  });
}

module.exports = { addPeer, generateKeyPair, publicKeyOf, ConfigIssuer };
