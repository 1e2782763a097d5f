// The interactive report in headless Chromium: a price set through the page's hash takes the
// path the form does, and the figures the page then shows must equal `kesvar run --price` bit
// for bit.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const module = join(process.env.KESVAR_PACKAGE ?? join(root, 'build/wasm/web/package'), 'kesvar.js');
const cli = process.env.KESVAR_CLI ?? join(root, 'build/native/tools/kesvar');
const chromium = process.env.KESVAR_CHROMIUM ?? '/usr/bin/chromium';
const scenario = 'examples/demo/scenario.json';

const report = join(mkdtempSync(join(tmpdir(), 'kesvar-report-')), 'r.html');
execFileSync(cli, ['report', scenario, '--interactive', '--module', module, '-o', report], {
  cwd: root,
  stdio: ['ignore', 'ignore', 'ignore'],
});

// The page after its script ran, and what its console said.
function openPage(hash) {
  const url = `${pathToFileURL(report)}#${hash}`;
  const flags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--enable-logging=stderr', '--v=0',
    '--virtual-time-budget=10000', '--dump-dom', url];
  const run = spawnSync(chromium, flags, { encoding: 'utf8', maxBuffer: 64 << 20 });
  assert.equal(run.status, 0, run.stderr);
  const console = run.stderr.split('\n').filter((line) => line.includes(':CONSOLE'));
  return { dom: run.stdout, console };
}

// Each client section's figures as the page holds them.
function pageFigures(dom) {
  const rows = [];
  const sections = dom.matchAll(
    /<section class="client"[^>]*data-firm="([^"]*)" data-client="([^"]*)">([\s\S]*?)<\/section>/g);
  for (const [, firm, client, body] of sections) {
    const figures = {};
    for (const [, name, value] of body.matchAll(/data-figure="(\w+)" data-value="([^"]*)"/g))
      figures[name] = Number(value);
    rows.push({ firm, client, figures });
  }
  return rows;
}

const cases = [
  { name: 'GAZP at 180', hash: 'GAZP=180', args: ['--price', 'GAZP=180'] },
  { name: 'every price 10% lower', hash: 'shift=-10', args: ['--shift', '-10%'] },
  { name: 'SBER at 301.5 after a 5% rise', hash: 'shift=5&SBER=301.5',
    args: ['--shift', '5%', '--price', 'SBER=301.5'] },
];

for (const c of cases) {
  test(`page figures equal run: ${c.name}`, () => {
    const expected = JSON.parse(execFileSync(cli, ['run', scenario, '--format', 'json', ...c.args],
      { cwd: root, encoding: 'utf8' })).rows;
    const { dom, console } = openPage(c.hash);
    assert.deepStrictEqual(console, [], 'nothing on the console');
    assert.match(dom, /<section id="prices">/, 'the form is shown once the script ran');
    const page = pageFigures(dom);
    assert.equal(page.length, expected.length);
    for (const [i, row] of expected.entries()) {
      assert.equal(page[i].client, row.client);
      assert.deepStrictEqual(Object.keys(page[i].figures), Object.keys(row.figures));
      for (const [name, v] of Object.entries(row.figures))
        assert.equal(page[i].figures[name], v, `${row.client} ${name}`);
    }
  });
}

test('the report stays under 1.5 MB and hides its form without scripts', () => {
  assert.ok(statSync(report).size < 1.5e6, `${statSync(report).size} bytes`);
  assert.match(readFileSync(report, 'utf8'), /<section id="prices" hidden>/);
});
