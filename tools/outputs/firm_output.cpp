#include "outputs/firm_output.h"

#include <vector>

#include "analyses/stress.h"
#include "outputs/csv.h"
#include "scenario/text.h"

namespace kesvar_cli {

namespace {

std::string LevelText(const Level& l) {
    return l.figure + "=" + Sprintf("%.17g", l.level);
}

} // namespace

void PrintFirmTable(std::ostream& out, const FirmSummary& s) {
    out << "\nFirm: " << s.clients << " clients";
    if (s.failed) out << " (" << s.failed << " failed)";
    out << "\n"
        << Sprintf("  %-12s %18.2f\n  %-12s %18.2f\n  %-12s %18.2f\n", "equity", s.equity,
                   "longValue", s.longValue, "shortValue", s.shortValue);
    for (const LevelCount& c : s.levels) {
        out << "  at or below " << LevelText(c.level) << ": " << c.clients.size() << "\n";
        for (const RowResult* r : c.clients)
            out << Sprintf("    %s/%s  %.2f\n", r->request.firm.c_str(), r->request.client.c_str(),
                           Figure(*r, c.level.figure));
    }
}

nlohmann::ordered_json FirmJson(const FirmSummary& s) {
    nlohmann::ordered_json j;
    j["clients"] = s.clients;
    j["failed"] = s.failed;
    j["equity"] = s.equity;
    j["longValue"] = s.longValue;
    j["shortValue"] = s.shortValue;
    j["levels"] = nlohmann::ordered_json::array();
    for (const LevelCount& c : s.levels) {
        nlohmann::ordered_json l;
        l["figure"] = c.level.figure;
        l["level"] = c.level.level;
        l["atOrBelow"] = nlohmann::ordered_json::array();
        for (const RowResult* r : c.clients)
            l["atOrBelow"].push_back({{"firm", r->request.firm},
                                      {"client", r->request.client},
                                      {"value", Figure(*r, c.level.figure)}});
        j["levels"].push_back(l);
    }
    return j;
}

void PrintFirmCsv(std::ostream& out, const FirmSummary& s, int emptyColumns) {
    auto line = [&](const char* record, const std::string& firm, const std::string& client,
                    const std::string& field, const std::string& value) {
        std::vector<std::string> fields{record, firm, client};
        fields.resize(fields.size() + size_t(emptyColumns));
        fields.push_back(field);
        fields.push_back(value);
        WriteCsvLine(out, fields);
    };
    line("firm", "", "", "clients", std::to_string(s.clients));
    line("firm", "", "", "failed", std::to_string(s.failed));
    line("firm", "", "", "equity", Exact(s.equity));
    line("firm", "", "", "longValue", Exact(s.longValue));
    line("firm", "", "", "shortValue", Exact(s.shortValue));
    for (const LevelCount& c : s.levels) {
        line("firm", "", "", "atOrBelow " + LevelText(c.level), std::to_string(c.clients.size()));
        for (const RowResult* r : c.clients)
            line("atOrBelow", r->request.firm, r->request.client, LevelText(c.level),
                 Exact(Figure(*r, c.level.figure)));
    }
}

} // namespace kesvar_cli
