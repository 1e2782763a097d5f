// The package against the native tool: the same scenario and overrides must give the same
// JSON text as `kesvar run --format json`, so every double is the same bit for bit.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const packageDir = process.env.KESVAR_PACKAGE ?? join(root, 'build/wasm/web/package');
const cli = process.env.KESVAR_CLI ?? join(root, 'build/native/tools/kesvar');
const { loadKesvar, KesvarError } = await import(pathToFileURL(join(packageDir, 'index.js')));

const scenarioPath = 'examples/demo/scenario.json';
const scenarioText = readFileSync(join(root, scenarioPath), 'utf8');
const files = { 'broker.dlini': readFileSync(join(root, 'examples/demo/broker.dlini'), 'latin1') };

function native(args) {
  return execFileSync(cli, ['run', scenarioPath, '--format', 'json', ...args], {
    cwd: root,
    encoding: 'utf8',
  });
}

const kesvar = await loadKesvar();

// One module for every case, in this order: a run must not see what the one before it set.
const sameAsNative = [
  { name: 'the demo as given', options: {}, args: [] },
  { name: 'GAZP at 180', options: { prices: { GAZP: 180 } }, args: ['--price', 'GAZP=180'] },
  {
    name: 'a shift of all, then one bid',
    options: { shifts: ['-7.5%'], prices: { 'SBER.bid': 280.15 } },
    args: ['--shift', '-7.5%', '--price', 'SBER.bid=280.15'],
  },
  {
    name: 'GAZP at 180, explained',
    options: { prices: { GAZP: 180 }, explain: true },
    args: ['--price', 'GAZP=180', '--explain'],
  },
  {
    name: 'a basket of two orders, pending',
    options: {
      orders: [
        { client: '10002', side: 'buy', security: 'LKOH', quantity: 3 },
        { firm: 'MC0139600000', client: '10002', side: 'buy', security: 'LKOH', quantity: 20,
          price: 7100.5 },
      ],
      pending: true,
    },
    args: ['--order', '10002:buy:LKOH:3', '--order', 'MC0139600000/10002:buy:LKOH:20@7100.5',
      '--pending'],
  },
  {
    name: 'a short filled, after a shift',
    options: { shifts: ['-5%'], orders: [{ client: '10001', side: 'short', security: 'SBER', quantity: 5 }] },
    args: ['--shift', '-5%', '--order', '10001:short:SBER:5'],
  },
  { name: 'the demo again', options: {}, args: [] },
];

for (const c of sameAsNative) {
  test(`same as native: ${c.name}`, () => {
    const expected = native(c.args);
    const options = { ...c.options, files, name: scenarioPath };
    assert.equal(kesvar.runText(scenarioText, options), expected);
    // The parsed objects too: deepStrictEqual compares numbers with Object.is.
    assert.deepStrictEqual(kesvar.run(scenarioText, options), JSON.parse(expected));
  });
}

test('a scenario object runs as its text does', () => {
  const asObject = JSON.parse(scenarioText.replace(/^\s*\/\/.*$/gm, ''));
  const options = { files, prices: { GAZP: 180 }, name: scenarioPath };
  assert.deepStrictEqual(kesvar.run(asObject, options), kesvar.run(scenarioText, options));
});

const refused = [
  {
    name: 'a price for a security the scenario lacks',
    options: { files, prices: { XXXX: 1 } },
    path: '(options)',
    message: /--price XXXX=1: the scenario has no security XXXX/,
  },
  {
    name: 'a price that is no number',
    options: { files, prices: { GAZP: Number.NaN } },
    path: '(options)',
    message: /price of GAZP: expected a finite number/,
  },
  {
    name: 'a shift below -100%',
    options: { files, shifts: ['-101%'] },
    path: '(options)',
    message: /cannot fall by more than 100%/,
  },
  {
    name: 'an order for a client the scenario lacks',
    options: { files, orders: [{ client: '99999', side: 'buy', security: 'GAZP', quantity: 1 }] },
    path: '(options)',
    message: /--order 99999:buy:GAZP:1: /,
  },
  {
    name: 'an order of no quantity',
    options: { files, orders: [{ client: '10001', side: 'buy', security: 'GAZP', quantity: null }] },
    path: '(options)',
    message: /order of 10001 in GAZP: quantity: expected a finite number/,
  },
  {
    name: 'a settings file not given',
    options: {},
    path: 'firms[0].settingsFile',
    message: /broker\.dlini: not among the files given/,
  },
];

for (const c of refused) {
  test(`refused: ${c.name}`, () => {
    assert.throws(
      () => kesvar.run(scenarioText, c.options),
      (e) => e instanceof KesvarError && e.path === c.path && c.message.test(e.message),
    );
  });
}
