#include "commands/order.h"

#include <iostream>
#include <sstream>

#include "analyses/order.h"
#include "commands/format_option.h"
#include "outputs/order_output.h"

namespace kesvar_cli {

CLI::App* AddOrderCommand(CLI::App& app, OrderArgs* a) {
    CLI::App* cmd = app.add_subcommand(
        "order", "What an order does to a client's figures: now, pending and filled");
    cmd->add_option("SCENARIO", a->scenario, "Scenario file (JSON; '-' reads standard input)")
        ->required();
    AddFormatOption(cmd, &a->format, {"table", "json", "csv"});
    cmd->add_option("--client", a->client, "The client's code")->required();
    cmd->add_option("--firm", a->firm, "The firm (default: the client's first record's)");
    auto* buy =
        cmd->add_option("--buy", a->buy, "CODE QTY: buy QTY lots (pieces) of CODE")->expected(2);
    auto* sell = cmd->add_option("--sell", a->sell, "CODE QTY: sell")->expected(2);
    auto* shortSell = cmd->add_option("--short", a->shortSell, "CODE QTY: sell short")->expected(2);
    buy->excludes(sell)->excludes(shortSell);
    sell->excludes(shortSell);
    cmd->add_option("--at", a->at, "Price (default: the offer to buy, the bid to sell)");
    return cmd;
}

int RunOrderCommand(const OrderArgs& a) {
    const std::vector<std::string>& side = !a.buy.empty()    ? a.buy
                                           : !a.sell.empty() ? a.sell
                                                             : a.shortSell;
    if (side.size() != 2)
        throw CommandError("order: give one of --buy, --sell or --short CODE QTY");
    Order order;
    order.firm = a.firm;
    order.client = a.client;
    order.buy = !a.buy.empty();
    order.security = side[0];
    order.price = a.at;
    try {
        size_t used = 0;
        order.quantity = std::stoi(side[1], &used);
        if (used != side[1].size()) throw std::invalid_argument(side[1]);
    } catch (const std::exception&) {
        throw CommandError("order: quantity '" + side[1] + "' is not a whole number");
    }
    OrderImpact r;
    Scenario scenario = LoadScenarioFile(a.scenario);
    try {
        r = RunOrder(scenario, order);
    } catch (const OrderError& e) {
        throw CommandError(std::string("order: ") + e.what());
    }
    std::ostringstream text;
    if (a.format == "json")
        PrintOrderJson(text, r);
    else if (a.format == "csv")
        PrintOrderCsv(text, r);
    else
        PrintOrderText(text, r);
    std::cout << text.str() << std::flush;
    return r.now.ok && r.pending.ok && r.filled.ok ? 0 : kExitFailure;
}

} // namespace kesvar_cli
