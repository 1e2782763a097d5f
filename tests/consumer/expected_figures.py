#!/usr/bin/env python3
# How the figures in expected_host_output.txt were worked out: the row, valuation, buy-limit
# and actv formulas applied by hand to the example host's data (examples/host/host.c), in the
# order the library evaluates them, in IEEE doubles like the library. Not part of the suite;
# run it after changing the example's data and update the expected output from what it prints.
def lag2buylimit(r, y):
    K = r['leverage'] if r['leverage'] > 0 else 0.0
    M=r['moneyAvailable']; SV=r['shortValue']; E=r['equity']; BC=r['buyCommitment']
    US=r['uncoveredSellValue']; LA=r['longValueAsset']; BA=r['buyCommitmentAsset']; D=r['settlementDebt']
    A = SV - US; B = (M + SV) - BC; H = (E - LA) - BA; s = E + y
    if E <= 0: return 0.0
    if K == 0:
        R1 = R2 = (B if (B >= 0 and A >= 0) else 0.0); R3 = 0.0
    else:
        R1=R2=R3=0.0
        if B >= 0:
            if y <= 0 and B >= s and A >= 0: R1 = B if B < E else E
            R2 = ((A / K) + E) + y
            if B < R2: R2 = B
            if R2 < 0: R2 = 0.0
        if E > B:
            x = (((s * K) + B) + A) / (K + 1.0)
            if x > B:
                R3 = x if x < s else s
                if R3 < 0: R3 = 0.0
    F = max(R1, R2); F = max(F, R3)
    if K == 0:
        G = H - D
    else:
        R4 = (H - D) if (H - D) >= s else 0.0
        t = s - (D / K); R5 = H if H < t else t
        x = (((s * K) + H) - D) / (K + 1.0)
        R6 = 0.0 if not (x > t) else (x if x < s else s)
        G = max(R5, R6); G = max(R4, G)
    return F if F < G else G

def row(money, secs, lag2, volume=False):
    # money: list of (kind, ob, ol, cb, cl, lk, lv)
    M = [0.0]*6; N40 = 0.0; N56 = 0.0
    for (k, *vals) in money:
        if k == 0: continue
        for i in range(6): M[i] += vals[i]
        if k in (1, 3): N40 += vals[0]; N56 += vals[2]
    OM=M[0]*0.01; OL=M[1]*0.01; CM=M[2]*0.01; LK=M[4]*0.01; LV=M[5]*0.01; OM13=N40*0.01; CM13=N56*0.01
    r = dict.fromkeys(['shortValue','longValue','longValueMargin','longValueAsset','buyCommitment',
        'buyCommitmentMargin','buyCommitmentAsset','uncoveredSellValue','settlementDebt',
        'assetBuyLimit'], 0.0)
    r['openValue'] = OM; r['currentValue'] = CM; r['moneyCurrent'] = CM13; r['moneyLocked'] = LK
    cO = cOA = sN = lN = 0.0
    for s in secs:
        asset, margin, counting = s['asset'], s['margin'], s['counting']
        offer, bid, last, prev, lot = s['offer'], s['bid'], s['last'], s['prev'], s['lot']
        wL, wS = s['wL'], s['wS']
        op = s['ob']
        qty = s['cb'] if lag2 else s['cb'] - s['ol'] + s['cl']
        v = op * prev * lot if op != 0 else 0.0
        if op > 0 and asset:
            w = v * wL; cO += w if counting else 0; cOA += w
        elif op < 0:
            w = v * wS; cO += w if counting else 0; cOA += w
        r['openValue'] += v
        assert last >= 1e-6
        if qty > 0 and asset:
            b = qty * bid * lot * wL
            if counting:
                if margin: r['longValueMargin'] += b
                else: r['longValueAsset'] += b
                r['longValue'] += b
            lN += b
        elif qty < 0:
            o = qty * offer * lot * wS
            if counting: r['shortValue'] += o
            sN += o
        r['currentValue'] += qty * last * lot
        if asset:
            t = (min(qty, 0) * offer * lot) + s['lbv'] * 0.01
            tp = t if t > 0 else 0.0
            if margin: r['buyCommitmentMargin'] += tp
            else: r['buyCommitmentAsset'] += tp
            r['buyCommitment'] += tp
        u = s['ls'] - max(qty, 0)
        if u <= 0: u = 0
        r['uncoveredSellValue'] += u * offer * lot
    r['openCollateral'] = OM13 + cOA
    T = OM + cO
    r['leverage'] = 0.0 if T < 1e-8 else OL / T
    r['openLimitTotal'] = OL
    r['moneyAvailable'] = CM13 - LV
    r['equity'] = (r['shortValue'] + r['longValue']) + r['moneyAvailable']
    X = ((CM - LV) + lN) + sN
    Y = X - r['equity']
    if r['equity'] >= 0 and X < 0: X = 0.0
    r['creditCapacity'] = r['leverage'] * X
    Z = (r['shortValue'] + r['moneyAvailable']) - r['buyCommitment']
    r['buyCapacity'] = ((r['creditCapacity'] + r['shortValue']) - r['uncoveredSellValue']) + (Z if Z < 0 else 0.0)
    G = CM13 if CM13 > 0 else 0.0
    V = (r['shortValue'] + r['longValue']) + CM13
    if r['longValue'] + G > 0: r['marginLevel'] = (V / (r['longValue'] + G)) * 100.0
    else: r['marginLevel'] = -99.0 if V < 0 else 100.0
    r['lockedValueTotal'] = LV
    if lag2:
        r['marginBuyLimit'] = r['buyCapacity'] + (Z if Z > 0 else 0.0)
        r['settlementDebt'] = ((r['uncoveredSellValue'] - r['shortValue']) + r['buyCommitmentMargin']) + r['longValueMargin']
        W = r['creditCapacity'] - r['settlementDebt']
        r['assetBuyLimit'] = ((r['equity'] + (W if W < 0 else 0.0)) - r['longValueAsset']) - r['buyCommitmentAsset']
        r['ownBuyLimit'] = lag2buylimit(r, Y)
    else:
        r['marginBuyLimit'] = ((M[3] + M[2]) * 0.01) - LK
        r['ownBuyLimit'] = CM - LK + (r['shortValue'] if volume else 0.0)
    r['currentLeverage'] = -1.0 if r['marginLevel'] <= 0 else (100.0 / r['marginLevel']) - 1.0
    r['equitySurplus'] = Y
    return r

def fullprice_bond(p, face=1000.0, accrued=12.3):
    return accrued + ((face * p) * 0.01)

sber = dict(asset=1, margin=1, counting=1, offer=250.5, bid=250.0, last=250.2, prev=248.0, lot=10.0, wL=0.8, wS=1.25,
            ob=100, ol=0, cb=150, cl=0, ls=0, lbv=0.0)
gazp = dict(asset=1, margin=1, counting=1, offer=160.2, bid=160.0, last=160.1, prev=158.0, lot=10.0, wL=1.0, wS=1.0,
            ob=0, ol=0, cb=-20, cl=0, ls=0, lbv=0.0)
lkoh = dict(asset=1, margin=0, counting=1, offer=7000.0, bid=6990.0, last=6995.0, prev=6950.0, lot=1.0, wL=1.0, wS=1.0,
            ob=10, ol=0, cb=10, cl=0, ls=15, lbv=0.0)
bond = dict(asset=1, margin=1, counting=1, offer=fullprice_bond(98.5), bid=fullprice_bond(98.0), last=fullprice_bond(98.2),
            prev=fullprice_bond(97.9), lot=1.0, wL=1.0, wS=1.0, ob=50, ol=0, cb=100, cl=0, ls=0, lbv=1994600.0)
c1 = row([(1, 50000000.0, 100000000.0, 25000000.0, 100000000.0, 1000000.0, 1000000.0),
          (0, 99999900.0, 0.0, 99999900.0, 0.0, 0.0, 0.0)], [sber, gazp, lkoh], lag2=False)
c2 = row([(1, 20000000.0, 20000000.0, 20000000.0, 20000000.0, 0.0, 0.0)], [bond], lag2=True)

def show(name, r, lag2):
    print("row MC0001/%s, credit lag 2: %s" % (name, "yes" if lag2 else "no"))
    for label, key, fmt in [("money available", 'moneyAvailable', "%14.2f"), ("open collateral", 'openCollateral', "%14.2f"),
        ("leverage", 'leverage', "%14.6f"), ("long value", 'longValue', "%14.2f"), ("short value", 'shortValue', "%14.2f"),
        ("equity", 'equity', "%14.2f"), ("margin level, %", 'marginLevel', "%14.4f"), ("credit capacity", 'creditCapacity', "%14.2f"),
        ("buy capacity", 'buyCapacity', "%14.2f"), ("buy commitment", 'buyCommitment', "%14.2f"),
        ("uncovered sales", 'uncoveredSellValue', "%14.2f"), ("margin buy limit", 'marginBuyLimit', "%14.2f"),
        ("own buy limit", 'ownBuyLimit', "%14.2f"), ("asset buy limit", 'assetBuyLimit', "%14.2f"),
        ("settlement debt", 'settlementDebt', "%14.2f"), ("open value", 'openValue', "%14.2f"),
        ("current value", 'currentValue', "%14.2f"), ("current leverage", 'currentLeverage', "%14.6f")]:
        print("  %-19s" % label + fmt % r[key])
show("C001", c1, False); show("C002", c2, True)

# Actvs of C001, plain regime: position, max buy from the margin or own buy limit at the
# offer (or the given price), max sell, value at LAST, previous value at PREVPRICE.
import math
def trunc(x): return int(math.trunc(x))
def actv(code, margin, asset, price, given, lot, last, prev, cb, ol, cl, ls, r):
    pos = cl - ol + cb
    limit = r['marginBuyLimit'] if margin else r['ownBuyLimit']
    maxBuy = max(trunc(limit / (lot * price)), 0)
    maxSell = max(cl - ls + cb, 0)
    print("actv %s at %s: margin %d, asset %d, position %d, max buy %d, max sell %d, "
          "value %.2f, previous value %.2f" % (code, "the given price" if given else "offer/bid",
          margin, asset, pos, maxBuy, maxSell, (pos * last) * lot, (pos * prev) * lot))
actv("SBER", 1, 1, 250.5, False, 10.0, 250.2, 248.0, 150, 0, 0, 0, c1)
actv("LKOH", 0, 1, 6980.0, True, 1.0, 6995.0, 6950.0, 10, 0, 0, 15, c1)
