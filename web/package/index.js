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

// {GAZP: 180, 'SBER.bid': 285} as run's --price arguments. String() writes the shortest text
// that reads back to the same double, so a price arrives unchanged.
function priceArguments(prices) {
  return Object.entries(prices ?? {}).map(([code, price]) => {
    if (typeof price !== 'number' || !Number.isFinite(price))
      throw new KesvarError('(options)', `price of ${code}: expected a finite number`);
    return `${code}=${String(price)}`;
  });
}

function optionsJson(options) {
  return JSON.stringify({
    name: options.name ?? 'scenario.json',
    files: options.files ?? {},
    prices: priceArguments(options.prices),
    shifts: options.shifts ?? [],
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
