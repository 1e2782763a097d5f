#include "outputs/run_output.h"

#include <stddef.h>

#include <nlohmann/json.hpp>

#include "analyses/explain.h"
#include "outputs/csv.h"
#include "outputs/firm_output.h"
#include "outputs/order_output.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

// A tiny negative figure would show as "-0.00"; the exact value is in the JSON and CSV.
std::string Money(double v, bool ratio) {
    std::string s = Sprintf(ratio ? "%.4f" : "%.2f", v);
    return s.find_first_not_of("-0.") == std::string::npos && s[0] == '-' ? s.substr(1) : s;
}

std::string FailureText(const CallFailure& f) {
    return f.call + " failed" + (f.subject.empty() ? "" : " for " + f.subject) + ": " +
           std::to_string(f.code) + " " + ErrorName(f.code);
}

std::string Flags(const KRMarginalActv& a) {
    std::string s = "---";
    if (a.isMargin) s[0] = 'M';
    if (a.isAsset) s[1] = 'A';
    if (a.isRestShort) s[2] = 'R';
    return s;
}

std::string ActvLabel(const ActvRequest& a) {
    std::string label = a.secCode;
    if (a.price > 0) label += " @" + Sprintf("%g", a.price);
    return label;
}

ordered_json FailureJson(const CallFailure& f) {
    ordered_json j;
    j["call"] = f.call;
    if (!f.subject.empty()) j["subject"] = f.subject;
    j["code"] = f.code;
    j["name"] = ErrorName(f.code);
    return j;
}

} // namespace

void PrintTable(std::ostream& out, const RunResult& r) {
    out << "Interface version " << r.version << "\n";
    for (const CallFailure& f : r.setup)
        out << FailureText(f) << "\n";
    for (const RowResult& row : r.rows) {
        const RowRequest& q = row.request;
        out << "\nRow " << q.firm << " / " << q.client << "  (size " << q.size << ")\n";
        if (!row.ok) {
            out << "  " << FailureText(row.failure) << "\n";
            continue;
        }
        out << Sprintf("  %-19s %17s  %-19s %17s\n", "creditLag2",
                       row.row.creditLag2 ? "yes" : "no", "leverageGiven",
                       row.row.leverageGiven ? "yes" : "no");
        int column = 0;
        ForEachField(row.row, [&](const RowField& f, double v) {
            out << Sprintf("  %-19s %17s", f.name, Money(v, f.ratio).c_str());
            if (++column % 2 == 0) out << "\n";
        });
        if (column % 2) out << "\n";
        if (row.actv.empty()) continue;
        out << "\n  "
            << (row.limitsInLots == 0 ? "Quantities in units (the firm's LIMITSINLOTS is 0)"
                                      : "Quantities in lots (the firm keeps its limits in lots)")
            << "; money in units.\n";
        out << Sprintf("  %-14s %-3s %9s %9s %9s %13s %13s\n", "SECURITY", "MAR", "POSITION",
                       "MAXBUY", "MAXSELL", "VALUE", "PREVVALUE");
        for (const ActvResult& a : row.actv) {
            std::string label = ActvLabel(a.request);
            if (label.size() > 14) {
                // A long code gets a line of its own, so the columns stay in place.
                out << "  " << label << "\n";
                label.clear();
            }
            if (!a.ok) {
                out << Sprintf("  %-14s ", label.c_str()) << FailureText(a.failure) << "\n";
                continue;
            }
            const KRMarginalActv& v = a.actv;
            std::string prev = v.size >= KR_ACTV_SIZE_56 ? Money(v.prevValue, false) : "-";
            out << Sprintf("  %-14s %-3s %9d %9d %9d %13s %13s\n", label.c_str(), Flags(v).c_str(),
                           v.position, v.maxBuy, v.maxSell, Money(v.value, false).c_str(),
                           prev.c_str());
            if (a.traced) out << "    " << ExplainLine(a) << "\n";
        }
    }
    bool anyActv = false;
    for (const RowResult& row : r.rows)
        anyActv = anyActv || !row.actv.empty();
    if (anyActv)
        out << "\nMAR: margin, asset, rest-short security for the client. Prices: offer to buy\n"
               "and bid to sell unless a price follows '@'.\n";
}

std::vector<std::pair<std::string, std::string>> OverrideFields(const WhatIf& whatIf) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& p : whatIf.prices)
        out.emplace_back("price", p);
    for (const std::string& s : whatIf.shifts)
        out.emplace_back("shift", s);
    for (const std::string& o : whatIf.orders)
        out.emplace_back("order", o);
    if (!whatIf.orders.empty()) out.emplace_back("basket", whatIf.pending ? "pending" : "filled");
    return out;
}

ordered_json OverridesJson(const WhatIf& whatIf) {
    return {{"prices", whatIf.prices}, {"shifts", whatIf.shifts}, {"orders", whatIf.orders}};
}

void PrintJson(std::ostream& out, const RunResult& r, const WhatIf& whatIf, const FirmSummary* firm,
               const std::vector<OrderImpact>& basket) {
    ordered_json root;
    root["interfaceVersion"] = r.version;
    root["overrides"] = OverridesJson(whatIf);
    root["setupFailures"] = ordered_json::array();
    for (const CallFailure& f : r.setup)
        root["setupFailures"].push_back(FailureJson(f));
    root["warnings"] = ordered_json::array();
    for (const Warning& w : r.warnings) {
        ordered_json j;
        if (w.line > 0) {
            j["firm"] = w.firm;
            j["source"] = w.source;
            j["line"] = w.line;
        } else {
            j["path"] = w.path;
        }
        j["severity"] = w.note ? "note" : "warning";
        j["kind"] = w.kind;
        j["subject"] = w.subject;
        j["message"] = w.message;
        root["warnings"].push_back(j);
    }
    root["rows"] = ordered_json::array();
    for (const RowResult& row : r.rows) {
        ordered_json j;
        j["firm"] = row.request.firm;
        j["client"] = row.request.client;
        j["size"] = row.request.size;
        j["ok"] = row.ok;
        if (!row.ok) {
            j["failure"] = FailureJson(row.failure);
            root["rows"].push_back(j);
            continue;
        }
        j["creditLag2"] = row.row.creditLag2;
        j["leverageGiven"] = row.row.leverageGiven;
        j["limitsInLots"] = row.limitsInLots;
        ordered_json figures = ordered_json::object();
        ForEachField(row.row, [&](const RowField& f, double v) { figures[f.name] = v; });
        j["figures"] = figures;
        j["actv"] = ordered_json::array();
        for (const ActvResult& a : row.actv) {
            ordered_json aj;
            aj["class"] = a.request.classCode;
            aj["security"] = a.request.secCode;
            aj["price"] = a.request.price > 0 ? ordered_json(a.request.price) : ordered_json();
            aj["size"] = a.request.size;
            aj["ok"] = a.ok;
            if (!a.ok) {
                aj["failure"] = FailureJson(a.failure);
            } else {
                const KRMarginalActv& v = a.actv;
                aj["isMargin"] = v.isMargin;
                aj["isAsset"] = v.isAsset;
                aj["isRestShort"] = v.isRestShort;
                aj["position"] = v.position;
                aj["maxBuy"] = v.maxBuy;
                aj["maxSell"] = v.maxSell;
                aj["value"] = v.value;
                if (v.size >= KR_ACTV_SIZE_56) aj["prevValue"] = v.prevValue;
                if (a.traced) aj["explain"] = ExplainActvJson(a, row);
            }
            j["actv"].push_back(aj);
        }
        root["rows"].push_back(j);
    }
    if (firm) root["firm"] = FirmJson(*firm);
    if (!basket.empty()) root["basket"] = BasketJson(whatIf, basket);
    out << root.dump(2) << "\n";
}

void PrintCsv(std::ostream& out, const RunResult& r, const WhatIf& whatIf,
              const std::vector<OrderImpact>& basket) {
    WriteCsvLine(out, {"record", "firm", "client", "class", "security", "field", "value"});
    auto line = [&](const char* record, const std::string& firm, const std::string& client,
                    const std::string& cls, const std::string& sec, const std::string& field,
                    const std::string& value) {
        WriteCsvLine(out, {record, firm, client, cls, sec, field, value});
    };
    for (const auto& [field, value] : OverrideFields(whatIf))
        line("override", "", "", "", "", field, value);
    auto failure = [](const CallFailure& f) {
        return std::to_string(f.code) + " " + ErrorName(f.code);
    };
    for (const CallFailure& f : r.setup) {
        bool byFirm = f.call == "KRSetDliniFile";
        bool byClass = f.call == "KRAddClass";
        line("failure", byFirm ? f.subject : "", "", byClass ? f.subject : "", "", f.call,
             failure(f));
    }
    for (const RowResult& row : r.rows) {
        const std::string& firm = row.request.firm;
        const std::string& client = row.request.client;
        if (!row.ok) {
            line("failure", firm, client, "", "", row.failure.call, failure(row.failure));
            continue;
        }
        line("row", firm, client, "", "", "creditLag2", std::to_string(row.row.creditLag2));
        line("row", firm, client, "", "", "leverageGiven", std::to_string(row.row.leverageGiven));
        ForEachField(row.row, [&](const RowField& f, double v) {
            line("row", firm, client, "", "", f.name, Exact(v));
        });
        for (const ActvResult& a : row.actv) {
            const std::string& cls = a.request.classCode;
            const std::string& sec = a.request.secCode;
            if (a.request.price > 0)
                line("actv", firm, client, cls, sec, "price", Exact(a.request.price));
            if (!a.ok) {
                line("failure", firm, client, cls, sec, a.failure.call, failure(a.failure));
                continue;
            }
            const KRMarginalActv& v = a.actv;
            line("actv", firm, client, cls, sec, "isMargin", std::to_string(v.isMargin));
            line("actv", firm, client, cls, sec, "isAsset", std::to_string(v.isAsset));
            line("actv", firm, client, cls, sec, "isRestShort", std::to_string(v.isRestShort));
            line("actv", firm, client, cls, sec, "position", std::to_string(v.position));
            line("actv", firm, client, cls, sec, "maxBuy", std::to_string(v.maxBuy));
            line("actv", firm, client, cls, sec, "maxSell", std::to_string(v.maxSell));
            line("actv", firm, client, cls, sec, "value", Exact(v.value));
            if (v.size >= KR_ACTV_SIZE_56)
                line("actv", firm, client, cls, sec, "prevValue", Exact(v.prevValue));
            if (a.traced) line("actv", firm, client, cls, sec, "explain", ExplainLine(a));
        }
    }
    for (const OrderImpact& o : basket) {
        const Order& q = o.order;
        line("order", q.firm, q.client, "", q.security, "fits", o.fits ? "true" : "false");
        line("order", q.firm, q.client, "", q.security, "largest", std::to_string(o.largest));
        line("order", q.firm, q.client, "", q.security, "bound", o.bound);
    }
}

} // namespace kesvar_cli
