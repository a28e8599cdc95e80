'use strict';

const crypto = require('crypto');
const { buildSchema, graphql, GraphQLError } = require('graphql');
const data = require('./data');

// Every document the client's templates produce must parse and validate against this schema.
const schema = buildSchema(`
  type Query {
    brandByDomain(domain: String!): Brand
    member: Member
    vpn: Vpn
  }

  type Mutation {
    memberLogin(email: String!, password: String!, brand_id: String!): LoginResult
    member: MemberMutation
  }

  type Brand { id: ID! name: String! }

  type LoginResult { token: String! member: LoginMember! expiresIn: Int! }
  type LoginMember { id: ID! email: String! name: String status: String! }

  type Member { info: MemberInfo! }
  type MemberInfo {
    id: ID!
    email: String!
    name: String
    subscription: Subscription!
    vpn: MemberVpn!
  }
  type Subscription { planName: String isActive: Boolean! offers: [Offer!]! }
  type Offer { id: ID! }
  type MemberVpn { favoriteServers: [String!]! bandwidthLimit: Float bandwidthUsed: Float }

  type MemberMutation {
    updateFavoriteServers(favoriteServers: [String!]): MutationResult!
    updateBandwidthUsage(bandwidthUsed: Int!): MutationResult!
  }
  type MutationResult { responseResult: ResponseResult! }
  type ResponseResult { succeeded: Boolean! errorCode: String slug: String message: String }

  type Vpn { servers(brandId: String!): [VpnServer!]! }
  type VpnServer {
    id: Int!
    countryCode: String
    countryName: String
    city: String
    ip: String
    latitude: String
    longitude: String
    isOnline: Boolean
    continentName: String
    files: Files
  }
  type Files { ovpn: String }
`);

class TokenExpired extends Error {}

class AccountApi {
  constructor({ tokenLifetimeSeconds = 61 * 3600 } = {}) {
    this.members = data.members();
    this.tokens = new Map();
    this.tokenLifetimeSeconds = tokenLifetimeSeconds;
  }

  issueToken(member) {
    const token = crypto.randomBytes(24).toString('hex');
    const lifetime = member.tokensExpireAtOnce ? 0 : this.tokenLifetimeSeconds;
    this.tokens.set(token, { memberId: member.id, expiresAt: Date.now() + lifetime * 1000 });
    return { token, expiresIn: lifetime };
  }

  // The member a bearer token stands for; null without a token; throws TokenExpired.
  memberForAuthorization(header) {
    const match = /^Bearer (.+)$/.exec(header || '');
    if (!match) return null;
    const entry = this.tokens.get(match[1]);
    if (!entry) return null;
    if (Date.now() >= entry.expiresAt) throw new TokenExpired();
    return this.members.find((m) => m.id === entry.memberId) || null;
  }

  rootValue(member) {
    const requireMember = () => {
      if (!member) throw new GraphQLError('Not authenticated');
      return member;
    };
    const memberInfo = () => {
      const m = requireMember();
      return {
        id: m.id, email: m.email, name: m.name,
        subscription: { planName: m.planName, isActive: m.status === 'active', offers: [] },
        vpn: { favoriteServers: m.favorites, bandwidthLimit: null, bandwidthUsed: 0 },
      };
    };
    const succeeded = () => ({ responseResult: { succeeded: true, errorCode: null, slug: 'ok', message: 'OK' } });
    return {
      brandByDomain: ({ domain }) => (domain === data.BRAND.domain ? { id: data.BRAND.id, name: data.BRAND.name } : null),
      memberLogin: ({ email, password, brand_id: brandId }) => {
        const found = this.members.find((m) => m.email === email && m.password === password);
        if (!found || brandId !== data.BRAND.id) throw new GraphQLError('Invalid credentials');
        const { token, expiresIn } = this.issueToken(found);
        return { token, expiresIn, member: { id: found.id, email: found.email, name: found.name, status: found.status } };
      },
      member: () => ({
        info: memberInfo,
        updateFavoriteServers: ({ favoriteServers }) => {
          requireMember().favorites = favoriteServers || [];
          return succeeded();
        },
        updateBandwidthUsage: () => {
          requireMember();
          return succeeded();
        },
      }),
      vpn: () => ({
        servers: ({ brandId }) => (brandId === data.BRAND.id ? data.servers().filter((s) => s.countryName) : []),
      }),
    };
  }

  // Answers one POST /graphql body: [status, reply object].
  async handle(body, authorization) {
    let request;
    try {
      request = JSON.parse(body);
    } catch (error) {
      return [400, { errors: [{ message: 'Body is not JSON' }] }];
    }
    if (!request || typeof request.query !== 'string') {
      return [400, { errors: [{ message: 'Body has no query' }] }];
    }
    let member;
    try {
      member = this.memberForAuthorization(authorization);
    } catch (error) {
      if (error instanceof TokenExpired) return [200, { error: 'jwt expired' }];
      throw error;
    }
    const result = await graphql({ schema, source: request.query, rootValue: this.rootValue(member),
      variableValues: request.variables });
    return [200, result];
  }
}

module.exports = { AccountApi, schema, TokenExpired };
