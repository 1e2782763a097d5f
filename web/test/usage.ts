// Compiled with tsc --strict, never run: the declarations must take the package's documented
// use and refuse what the module would refuse.
import { KesvarError, loadKesvar, type Row, type RunResult } from 'kesvar';

const kesvar = await loadKesvar();
const result: RunResult = kesvar.run('{}', {
  name: 'demo.json',
  files: { 'broker.dlini': '' },
  prices: { GAZP: 180, 'SBER.bid': 285 },
  shifts: ['-10%', 'GAZP=5%'],
  orders: [{ client: '10002', side: 'short', security: 'LKOH', quantity: 3, price: 7100.5 }],
  pending: true,
  explain: true,
});
const levels: (number | undefined)[] = result.rows.map((row: Row) => row.figures?.marginLevel);
const quantities: number[] = result.rows.flatMap((row) => row.actv ?? []).map((a) => a.maxBuy ?? 0);
const text: string = kesvar.runText({ rows: [] });
const overridden: string[] = [...result.overrides.prices, ...result.overrides.orders];
const verdicts: boolean[] = (result.basket?.orders ?? []).map((v) => v.fits);
try {
  kesvar.run('{}');
} catch (e) {
  if (e instanceof KesvarError) console.log(e.path, levels, quantities, text, overridden, verdicts);
}

// @ts-expect-error a price is a number, as run --price reads it
kesvar.run('{}', { prices: { GAZP: '180' } });
// @ts-expect-error shifts are a list, applied in order
kesvar.run('{}', { shifts: '-10%' });
// @ts-expect-error a figure is a number
const wrong: string | undefined = result.rows[0].figures?.equity;
// @ts-expect-error an order is bought, sold or shorted
kesvar.run('{}', { orders: [{ client: '10002', side: 'cover', security: 'LKOH', quantity: 3 }] });
