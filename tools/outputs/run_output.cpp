#include "outputs/run_output.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "analyses/explain.h"

namespace kesvar_cli {

namespace {

using ordered_json = nlohmann::ordered_json;

struct RowField {
    const char* name;
    size_t offset;
    uint32_t minSize; // the field exists when the row's size tag reaches this
    bool ratio;       // shown with more decimals in the table
};

#define KESVAR_ROW_FIELD(name, minSize, ratio)                                                     \
    { #name, offsetof(KRMarginalRow, name), minSize, ratio }
// Every figure of the row, in record order. The two reserved fields are always zero.
const RowField kRowFields[] = {
    KESVAR_ROW_FIELD(moneyAvailable, 248, false),
    KESVAR_ROW_FIELD(openCollateral, 248, false),
    KESVAR_ROW_FIELD(leverage, 248, true),
    KESVAR_ROW_FIELD(openLimitTotal, 248, false),
    KESVAR_ROW_FIELD(shortValue, 248, false),
    KESVAR_ROW_FIELD(longValue, 248, false),
    KESVAR_ROW_FIELD(longValueMargin, 248, false),
    KESVAR_ROW_FIELD(longValueAsset, 248, false),
    KESVAR_ROW_FIELD(equity, 248, false),
    KESVAR_ROW_FIELD(marginLevel, 248, false),
    KESVAR_ROW_FIELD(creditCapacity, 248, false),
    KESVAR_ROW_FIELD(buyCapacity, 248, false),
    KESVAR_ROW_FIELD(buyCommitment, 248, false),
    KESVAR_ROW_FIELD(buyCommitmentMargin, 248, false),
    KESVAR_ROW_FIELD(buyCommitmentAsset, 248, false),
    KESVAR_ROW_FIELD(uncoveredSellValue, 248, false),
    KESVAR_ROW_FIELD(lockedValueTotal, 248, false),
    KESVAR_ROW_FIELD(marginBuyLimit, 248, false),
    KESVAR_ROW_FIELD(buyCapacityCopy, 248, false),
    KESVAR_ROW_FIELD(ownBuyLimit, 248, false),
    KESVAR_ROW_FIELD(assetBuyLimit, 248, false),
    KESVAR_ROW_FIELD(settlementDebt, 248, false),
    KESVAR_ROW_FIELD(openValue, 248, false),
    KESVAR_ROW_FIELD(currentValue, 248, false),
    KESVAR_ROW_FIELD(moneyCurrent, 264, false),
    KESVAR_ROW_FIELD(moneyLocked, 264, false),
    KESVAR_ROW_FIELD(currentLeverage, 272, true),
    KESVAR_ROW_FIELD(equitySurplus, 280, false),
};
#undef KESVAR_ROW_FIELD

double FieldValue(const KRMarginalRow& row, const RowField& f) {
    double v;
    memcpy(&v, reinterpret_cast<const char*>(&row) + f.offset, sizeof v);
    return v;
}

template <class F> void ForEachField(const KRMarginalRow& row, F visit) {
    for (const RowField& f : kRowFields)
        if (row.size >= f.minSize) visit(f, FieldValue(row, f));
}

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// A tiny negative figure would show as "-0.00"; the exact value is in the JSON and CSV.
std::string Money(double v, bool ratio) {
    std::string s = Printf(ratio ? "%.4f" : "%.2f", v);
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
    if (a.price > 0) label += " @" + Printf("%g", a.price);
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

// One CSV field, quoted when it needs to be.
std::string Csv(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// The shortest text that reads back as the same double (the JSON spelling).
std::string Exact(double v) {
    return ordered_json(v).dump();
}

} // namespace

std::vector<std::pair<std::string, double>> RowFigures(const KRMarginalRow& row) {
    std::vector<std::pair<std::string, double>> out;
    ForEachField(row, [&](const RowField& f, double v) { out.emplace_back(f.name, v); });
    return out;
}

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
        out << Printf("  %-19s %17s  %-19s %17s\n", "creditLag2", row.row.creditLag2 ? "yes" : "no",
                      "leverageGiven", row.row.leverageGiven ? "yes" : "no");
        int column = 0;
        ForEachField(row.row, [&](const RowField& f, double v) {
            out << Printf("  %-19s %17s", f.name, Money(v, f.ratio).c_str());
            if (++column % 2 == 0) out << "\n";
        });
        if (column % 2) out << "\n";
        if (row.actv.empty()) continue;
        out << "\n  "
            << (row.limitsInLots == 0 ? "Quantities in units (the firm's LIMITSINLOTS is 0)"
                                      : "Quantities in lots (the firm keeps its limits in lots)")
            << "; money in units.\n";
        out << Printf("  %-14s %-3s %9s %9s %9s %13s %13s\n", "SECURITY", "MAR", "POSITION",
                      "MAXBUY", "MAXSELL", "VALUE", "PREVVALUE");
        for (const ActvResult& a : row.actv) {
            std::string label = ActvLabel(a.request);
            if (label.size() > 14) {
                // A long code gets a line of its own, so the columns stay in place.
                out << "  " << label << "\n";
                label.clear();
            }
            if (!a.ok) {
                out << Printf("  %-14s ", label.c_str()) << FailureText(a.failure) << "\n";
                continue;
            }
            const KRMarginalActv& v = a.actv;
            std::string prev = v.size >= KR_ACTV_SIZE_56 ? Money(v.prevValue, false) : "-";
            out << Printf("  %-14s %-3s %9d %9d %9d %13s %13s\n", label.c_str(), Flags(v).c_str(),
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

void PrintJson(std::ostream& out, const RunResult& r) {
    ordered_json root;
    root["interfaceVersion"] = r.version;
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
    out << root.dump(2) << "\n";
}

void PrintCsv(std::ostream& out, const RunResult& r) {
    out << "record,firm,client,class,security,field,value\n";
    auto line = [&](const char* record, const std::string& firm, const std::string& client,
                    const std::string& cls, const std::string& sec, const std::string& field,
                    const std::string& value) {
        out << record << ',' << Csv(firm) << ',' << Csv(client) << ',' << Csv(cls) << ','
            << Csv(sec) << ',' << Csv(field) << ',' << Csv(value) << '\n';
    };
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
}

} // namespace kesvar_cli
