// Prints an order's impact: each figure now, pending and filled, with the changes, and the
// verdict.
#ifndef KESVAR_TOOLS_OUTPUTS_ORDER_OUTPUT_H
#define KESVAR_TOOLS_OUTPUTS_ORDER_OUTPUT_H

#include <ostream>

#include "analyses/order.h"

namespace kesvar_cli {

void PrintOrderText(std::ostream& out, const OrderImpact& r);
void PrintOrderJson(std::ostream& out, const OrderImpact& r);
// figure,now,pending,filled: the row's figures, then the actv's as "actv.maxBuy" and so on.
void PrintOrderCsv(std::ostream& out, const OrderImpact& r);

} // namespace kesvar_cli

#endif
