// How much a credit-lag-2 client may still spend: the smaller of what money and leverage allow
// and what the obligations falling due on settlement leave.
#include "row/row.h"

namespace kesvar {

double Lag2BuyLimit(const KRMarginalRow* row, double y) {
    double K = row->leverage > 0 ? row->leverage : 0.0;
    double M = row->moneyAvailable;
    double SV = row->shortValue;
    double E = row->equity;
    double BC = row->buyCommitment;
    double US = row->uncoveredSellValue;
    double LA = row->longValueAsset;
    double BA = row->buyCommitmentAsset;
    double D = row->settlementDebt;

    if (E <= 0) return 0.0;

    double A = SV - US;
    double B = (M + SV) - BC;
    double H = (E - LA) - BA;
    double s = E + y;

    double R1 = 0.0, R2 = 0.0, R3 = 0.0;
    if (K == 0) {
        if (B >= 0 && A >= 0) R1 = R2 = B;
    } else {
        if (B >= 0) {
            if (y <= 0 && B >= s && A >= 0) R1 = B < E ? B : E;
            R2 = ((A / K) + E) + y;
            if (B < R2) R2 = B;
            if (R2 < 0) R2 = 0.0;
        }
        if (E > B) {
            double x = (((s * K) + B) + A) / (K + 1.0);
            if (x > B) {
                R3 = x < s ? x : s;
                if (R3 < 0) R3 = 0.0;
            }
        }
    }
    double F = R1 > R2 ? R1 : R2;
    if (R3 > F) F = R3;

    double G;
    if (K == 0) {
        G = H - D;
    } else {
        double R4 = H - D >= s ? H - D : 0.0;
        double t = s - (D / K);
        double R5 = H < t ? H : t;
        double x = (((s * K) + H) - D) / (K + 1.0);
        double R6 = 0.0;
        if (x > t) R6 = x < s ? x : s;
        G = R5 > R6 ? R5 : R6;
        if (R4 > G) G = R4;
    }
    return F < G ? F : G;
}

} // namespace kesvar
