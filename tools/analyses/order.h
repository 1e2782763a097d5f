// An order's impact: the client's row and the actv of the security, now, with the order
// pending (locked in the limit records as a terminal records a working order) and filled
// (position and money moved at the price), with the verdict against maxBuy / maxSell now.
#ifndef KESVAR_TOOLS_ANALYSES_ORDER_H
#define KESVAR_TOOLS_ANALYSES_ORDER_H

#include <stdint.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "analyses/whatif.h"
#include "scenario/runner.h"
#include "scenario/scenario.h"

namespace kesvar_cli {

struct Order {
    std::string firm, client; // firm empty: the client's only firm
    bool buy = true;          // a sell and a short are recorded alike
    std::string security;
    int32_t quantity = 0; // in the firm's unit: lots, or pieces when LIMITSINLOTS is 0
    double price = 0;     // 0: the offer to buy, the bid to sell
};

// An order the scenario cannot take: an unknown client or security, a quantity below 1.
struct OrderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class OrderState { Pending, Filled };

// The scenario with the order recorded in the client's first records. Money moves at the
// order's price (the market's when it has none), in hundredths, for the quantity in lots when
// the firm keeps its limits in lots; a security the client has no record of gets one.
Scenario WithOrder(const Scenario& s, const Order& order, OrderState state, bool inLots);

struct OrderImpact {
    Order order;
    double price = 0;               // the price used
    RowResult now, pending, filled; // the row with one actv: the order's security
    bool fits = false;              // the quantity is within maxBuy (maxSell) now
    int32_t largest = 0;            // maxBuy (maxSell) now
    std::string bound;              // the bound that decided it, from the explanation
};

// The order judged on the scenario as it stands: `now` and the verdict, pending and filled
// left empty. Throws OrderError.
OrderImpact JudgeOrder(const Scenario& s, const Order& order);

// Throws OrderError or ScenarioError.
OrderImpact RunOrder(const Scenario& s, const Order& order);

// One order of a basket as typed: [FIRM/]CLIENT:buy|sell|short:CODE:QTY[@PRICE]. Throws
// WhatIfError naming the option.
Order ParseOrder(const std::string& text);

// Adds --order (repeatable) and --pending to a command.
void AddBasketOptions(CLI::App* command, WhatIf* whatIf);

// Records the basket of whatIf.orders in the scenario, in the order given, filled (pending
// under whatIf.pending). Each order is judged as a terminal would judge it, with the basket's
// earlier orders working; the verdicts come back in the basket's order. Throws WhatIfError,
// naming the option, for an order the scenario cannot take.
std::vector<OrderImpact> ApplyBasket(const WhatIf& whatIf, Scenario* scenario);

} // namespace kesvar_cli

#endif
