'use strict';

const data = require('./data');

class VpnApi {
  constructor({ accountApi, configIssuer, registerPeer = null, failingServerIds = data.FAILING_SERVER_IDS }) {
    this.accountApi = accountApi;
    this.configIssuer = configIssuer;
    this.registerPeer = registerPeer;
    this.failingAddresses = new Set([...failingServerIds].map(data.serverAddress));
    this.connections = new Map();
    this.disconnects = 0;
  }

  servers() {
    return [200, data.servers()];
  }

  // The member behind the bearer token; a request without one is refused, since the reply
  // holds a private key.
  authorize(authorization) {
    try {
      return this.accountApi.memberForAuthorization(authorization);
    } catch (error) {
      return null;
    }
  }

  async connect(body, authorization) {
    const member = this.authorize(authorization);
    if (!member) return [401, { status: 'error', message: 'Not authenticated' }];
    let request;
    try {
      request = JSON.parse(body);
    } catch (error) {
      return [400, { status: 'error', message: 'Body is not JSON' }];
    }
    const known = data.servers().some((s) => (s.server_ip || s.ip) === request.server_ip);
    if (!known) return [200, { status: 'error', message: 'Unknown server' }];
    if (this.failingAddresses.has(request.server_ip)) {
      return [200, { status: 'error', message: 'Server has no capacity' }];
    }
    const issued = this.configIssuer.issue();
    if (this.registerPeer) await this.registerPeer(issued);
    this.connections.set(member.email, { serverIp: request.server_ip, ...issued });
    return [200, { status: 'success', config: issued.config }];
  }

  disconnect(body, authorization) {
    const member = this.authorize(authorization);
    this.disconnects += 1;
    if (member) this.connections.delete(member.email);
    return [200, { status: 'success' }];
  }
}

module.exports = { VpnApi };
