// Prints an order's impact: each figure now, pending and filled, with the changes, and the
// verdict.
#ifndef KESVAR_TOOLS_OUTPUTS_ORDER_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_ORDER_OUTPUT_H

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyses/order.h"

namespace kesvar_cli {

void PrintOrderText(std::ostream& out, const OrderImpact& r);
void PrintOrderJson(std::ostream& out, const OrderImpact& r);
// figure,now,pending,filled: the row's figures, then the actv's as "actv.maxBuy" and so on.
void PrintOrderCsv(std::ostream& out, const OrderImpact& r);

// "buy LKOH qty 3 @ 7120.5 for F / C"
std::string OrderText(const OrderImpact& r);
// "fits: 3 within maxBuy 20", or the bound that refuses it and the largest that fits.
std::string VerdictText(const OrderImpact& r);

// A basket's verdicts (ApplyBasket), each beside the order as typed: the table's lines after
// the rows, and the JSON's "basket" ({"state": "filled" or "pending", "orders": [...]}).
void PrintBasketTable(std::ostream& out, const WhatIf& whatIf,
                      const std::vector<OrderImpact>& basket);
nlohmann::ordered_json BasketJson(const WhatIf& whatIf, const std::vector<OrderImpact>& basket);

} // namespace kesvar_cli

#endif
