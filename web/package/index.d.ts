// The Kesvar library in WebAssembly: runs a margin scenario as `kesvar run --format json` does.

/** A scenario as `kesvar run` reads it (tools/README.md describes the format). */
export type Scenario = Record<string, unknown>;

export interface RunOptions {
  /** The scenario's name in messages; "scenario.json" unless given. */
  name?: string;
  /** The texts of the files the scenario names (settingsFile, CSV limits), by that name. */
  files?: Record<string, string>;
  /** New prices, as run's --price: {GAZP: 180} sets all four, {"GAZP.bid": 179} one. */
  prices?: Record<string, number>;
  /** Shifts, as run's --shift: "-10%" moves every price, "GAZP=5%" those of GAZP; before prices. */
  shifts?: string[];
  /** A basket, as run's --order: recorded in the limit records in this order, each order judged
   * with the earlier ones working, filled unless `pending`. */
  orders?: Order[];
  /** The basket recorded as working orders, not filled (run --pending). */
  pending?: boolean;
  /** Say for each actv what decided its quantities (run --explain). */
  explain?: boolean;
}

/** One order of a basket: run --order [FIRM/]CLIENT:SIDE:CODE:QTY[@PRICE]. */
export interface Order {
  /** The client's only firm unless given. */
  firm?: string;
  client: string;
  side: 'buy' | 'sell' | 'short';
  security: string;
  /** In the firm's unit: lots, or pieces when LIMITSINLOTS is 0; at least 1. */
  quantity: number;
  /** The offer to buy and the bid to sell unless given. */
  price?: number;
}

/** What the terminal would say of an order of the basket, before it goes in. */
export interface OrderVerdict {
  /** As run --order takes it. */
  order: string;
  firm: string;
  client: string;
  /** A short is recorded as a sell. */
  side: 'buy' | 'sell';
  security: string;
  quantity: number;
  /** The price used. */
  price: number;
  /** The quantity is within maxBuy (maxSell). */
  fits: boolean;
  /** maxBuy (maxSell) with the earlier orders working. */
  largest: number;
  /** The bound that decided `largest`. */
  bound: string;
}

export interface CallFailure {
  call: string;
  subject?: string;
  code: number;
  name: string;
}

export interface Warning {
  firm?: string;
  source?: string;
  line?: number;
  path?: string;
  severity: 'note' | 'warning';
  kind: string;
  subject: string;
  message: string;
}

export interface Actv {
  class: string;
  security: string;
  /** The price asked for, or null: the offer to buy and the bid to sell. */
  price: number | null;
  size: number;
  ok: boolean;
  failure?: CallFailure;
  isMargin?: number;
  isAsset?: number;
  isRestShort?: number;
  position?: number;
  maxBuy?: number;
  maxSell?: number;
  value?: number;
  prevValue?: number;
  /** How the quantities came about, when asked for with `explain`. */
  explain?: Record<string, unknown>;
}

export interface Row {
  firm: string;
  client: string;
  size: number;
  ok: boolean;
  failure?: CallFailure;
  creditLag2?: number;
  leverageGiven?: number;
  limitsInLots?: number;
  /** Every figure of the row record, unrounded, named as in the record. */
  figures?: Record<string, number>;
  actv?: Actv[];
}

export interface RunResult {
  interfaceVersion: number;
  /** The options' overrides, as run's --price, --shift and --order take them. */
  overrides: { prices: string[]; shifts: string[]; orders: string[] };
  setupFailures: CallFailure[];
  warnings: Warning[];
  rows: Row[];
  /** The verdicts of the basket, in its order, when there is one. */
  basket?: { state: 'filled' | 'pending'; orders: OrderVerdict[] };
}

export class KesvarError extends Error {
  /** Where the scenario or the options are at fault, e.g. "rows[0].firm" or "(options)". */
  readonly path: string;
}

export interface Kesvar {
  /** Runs a scenario (an object, or its JSON text, // comments allowed); throws KesvarError. */
  run(scenario: Scenario | string, options?: RunOptions): RunResult;
  /** The same answer as JSON text, or {"error": {"path", "message"}}. */
  runText(scenario: Scenario | string, options?: RunOptions): string;
}

/** Instantiates the module (inlined in kesvar.js: no file to fetch). */
export function loadKesvar(): Promise<Kesvar>;
