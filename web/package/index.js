// The Kesvar library in WebAssembly: runs a margin scenario as `kesvar run --format json` does
// and gives back its answer as plain objects.
import createKesvar from './kesvar.js';

// A scenario or an override the library's scenario reader refused; `path` says where.
export class KesvarError extends Error {
  constructor(path, message) {
    super(path ? `${path}: ${message}` : message);
    this.name = 'KesvarError';
    this.path = path;
  }
}

// String() writes the shortest text that reads back to the same double, so a price arrives
// unchanged.
function exact(value, what) {
  if (typeof value !== 'number' || !Number.isFinite(value))
    throw new KesvarError('(options)', `${what}: expected a finite number`);
  return String(value);
}

// {GAZP: 180, 'SBER.bid': 285} as run's --price arguments.
function priceArguments(prices) {
  return Object.entries(prices ?? {}).map(
    ([code, price]) => `${code}=${exact(price, `price of ${code}`)}`);
}

// Each order as run's --order argument.
function orderArguments(orders) {
  return (orders ?? []).map((o) => {
    const what = `order of ${o.client} in ${o.security}`;
    const at = o.price === undefined ? '' : `@${exact(o.price, `${what}: price`)}`;
    return `${o.firm ? `${o.firm}/` : ''}${o.client}:${o.side}:${o.security}:` +
      `${exact(o.quantity, `${what}: quantity`)}${at}`;
  });
}

function optionsJson(options) {
  return JSON.stringify({
    name: options.name ?? 'scenario.json',
    files: options.files ?? {},
    prices: priceArguments(options.prices),
    shifts: options.shifts ?? [],
    orders: orderArguments(options.orders),
    pending: options.pending ?? false,
    explain: options.explain ?? false,
  });
}

export async function loadKesvar() {
  const module = await createKesvar();
  const runJson = module.cwrap('kesvar_run_json', 'string', ['string', 'string']);
  const runText = (scenario, options = {}) => {
    const text = typeof scenario === 'string' ? scenario : JSON.stringify(scenario);
    return runJson(text, optionsJson(options));
  };
  return {
    runText,
    run(scenario, options = {}) {
      const answer = JSON.parse(runText(scenario, options));
      if (answer.error) throw new KesvarError(answer.error.path, answer.error.message);
      return answer;
    },
  };
}
