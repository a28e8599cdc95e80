'use strict';

// Demo brands, members and servers. Passwords are demo credentials, documented in the README.

const BRAND = { id: '5c1f3e2a-8b4d-4f6a-9e7c-2d0b1a3f4e5d', name: 'Corvane', domain: 'corvane.example' };

const DEMO_PASSWORD = 'demo-password';
// Holds a double quote, a backslash, a tab and a line break.
const TRICKY_PASSWORD = 'Tricky "quote" \\ tab\tnew\nline';

function members() {
  return [
    { id: '1001', email: 'demo@corvane.test', name: 'Demo Member', password: DEMO_PASSWORD,
      status: 'active', planName: 'Yearly', favorites: ['3', '7'] },
    { id: '1002', email: 'inactive@corvane.test', name: 'Lapsed Member', password: DEMO_PASSWORD,
      status: 'inactive', planName: 'Monthly', favorites: [] },
    { id: '1003', email: 'expired@corvane.test', name: 'Expiring Member', password: DEMO_PASSWORD,
      status: 'active', planName: 'Monthly', favorites: ['1'], tokensExpireAtOnce: true },
    { id: '1004', email: 'quotes@corvane.test', name: 'Tricky Member', password: TRICKY_PASSWORD,
      status: 'active', planName: 'Yearly', favorites: [] },
  ];
}

// [id, city, country, continent, code, lat, lon]; every fifth server uses the account API's
// spelling of a server object, the rest the VPN API's.
const LOCATIONS = [
  [1, 'Frankfurt', 'Germany', 'Europe', 'DE', '50.11', '8.68'],
  [2, 'Berlin', 'Germany', 'Europe', 'DE', '52.52', '13.40'],
  [3, 'Amsterdam', 'Netherlands', 'Europe', 'NL', '52.37', '4.90'],
  [4, 'Paris', 'France', 'Europe', 'FR', '48.85', '2.35'],
  [5, 'Marseille', 'France', 'Europe', 'FR', '43.30', '5.37'],
  [6, 'Madrid', 'Spain', 'Europe', 'ES', '40.42', '-3.70'],
  [7, 'Barcelona', 'Spain', 'Europe', 'ES', '41.39', '2.17'],
  [8, 'London', 'United Kingdom', 'Europe', 'GB', '51.51', '-0.13'],
  [9, 'Manchester', 'United Kingdom', 'Europe', 'GB', '53.48', '-2.24'],
  [10, 'Zurich', 'Switzerland', 'Europe', 'CH', '47.37', '8.54'],
  [11, 'Stockholm', 'Sweden', 'Europe', 'SE', '59.33', '18.07'],
  [12, 'Oslo', 'Norway', 'Europe', 'NO', '59.91', '10.75'],
  [13, 'Copenhagen', 'Denmark', 'Europe', 'DK', '55.68', '12.57'],
  [14, 'Helsinki', 'Finland', 'Europe', 'FI', '60.17', '24.94'],
  [15, 'Milan', 'Italy', 'Europe', 'IT', '45.46', '9.19'],
  [16, 'Rome', 'Italy', 'Europe', 'IT', '41.90', '12.50'],
  [17, 'Lisbon', 'Portugal', 'Europe', 'PT', '38.72', '-9.14'],
  [18, 'Warsaw', 'Poland', 'Europe', 'PL', '52.23', '21.01'],
  [19, 'Vienna', 'Austria', 'Europe', 'AT', '48.21', '16.37'],
  [20, 'Dublin', 'Ireland', 'Europe', 'IE', '53.35', '-6.26'],
  [21, 'New York', 'United States', 'North America', 'US', '40.71', '-74.01'],
  [22, 'Los Angeles', 'United States', 'North America', 'US', '34.05', '-118.24'],
  [23, 'Chicago', 'United States', 'North America', 'US', '41.88', '-87.63'],
  [24, 'Miami', 'United States', 'North America', 'US', '25.76', '-80.19'],
  [25, 'Toronto', 'Canada', 'North America', 'CA', '43.65', '-79.38'],
  [26, 'Vancouver', 'Canada', 'North America', 'CA', '49.28', '-123.12'],
  [27, 'Mexico City', 'Mexico', 'North America', 'MX', '19.43', '-99.13'],
  [28, 'Sao Paulo', 'Brazil', 'South America', 'BR', '-23.55', '-46.63'],
  [29, 'Buenos Aires', 'Argentina', 'South America', 'AR', '-34.60', '-58.38'],
  [30, 'Santiago', 'Chile', 'South America', 'CL', '-33.45', '-70.67'],
  [31, 'Tokyo', 'Japan', 'Asia', 'JP', '35.68', '139.69'],
  [32, 'Osaka', 'Japan', 'Asia', 'JP', '34.69', '135.50'],
  [33, 'Singapore', 'Singapore', 'Asia', 'SG', '1.35', '103.82'],
  [34, 'Hong Kong', 'Hong Kong', 'Asia', 'HK', '22.32', '114.17'],
  [35, 'Seoul', 'South Korea', 'Asia', 'KR', '37.57', '126.98'],
  [36, 'Mumbai', 'India', 'Asia', 'IN', '19.08', '72.88'],
  [37, 'Sydney', 'Australia', 'Oceania', 'AU', '-33.87', '151.21'],
  [38, 'Melbourne', 'Australia', 'Oceania', 'AU', '-37.81', '144.96'],
  [39, 'Auckland', 'New Zealand', 'Oceania', 'NZ', '-36.85', '174.76'],
  [40, 'Johannesburg', 'South Africa', 'Africa', 'ZA', '-26.20', '28.05'],
  [41, 'Cairo', 'Egypt', 'Africa', 'EG', '30.04', '31.24'],
  [42, 'Istanbul', 'Turkey', 'Europe', 'TR', '41.01', '28.98'],
  [43, 'Tel Aviv', 'Israel', 'Asia', 'IL', '32.09', '34.78'],
  [44, 'Dubai', 'United Arab Emirates', 'Asia', 'AE', '25.20', '55.27'],
];

// Servers whose configuration requests always fail, so that auto-fallback can be seen.
const FAILING_SERVER_IDS = new Set([2, 22, 32]);

function serverAddress(id) {
  return `127.0.1.${id}`;
}

function servers() {
  const list = LOCATIONS.map(([id, city, country, continent, code, latitude, longitude], index) => {
    const host = `${code.toLowerCase()}-${city.toLowerCase().replace(/\s+/g, '-')}.vpn.corvane.example`;
    if (index % 5 === 4) {
      return { id, ip: serverAddress(id), city, countryName: country, continentName: continent,
        countryCode: code, latitude, longitude, isOnline: true,
        files: { ovpn: `https://files.corvane.example/${host}.ovpn` } };
    }
    return { id, hostname: host, name: `${city} #${id}`, city, country, continent, location: code,
      latitude, longitude, server_ip: serverAddress(id) };
  });
  list.push({ id: 99, hostname: 'trial.vpn.corvane.example', name: 'Frankfurt (Trial)', city: 'Frankfurt',
    country: 'Germany', continent: 'Europe', location: 'DE', latitude: '50.11', longitude: '8.68',
    server_ip: serverAddress(99) });
  return list;
}

module.exports = { BRAND, DEMO_PASSWORD, TRICKY_PASSWORD, FAILING_SERVER_IDS, members, servers, serverAddress };
