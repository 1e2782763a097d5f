#include "outputs/csv.h"

#include <nlohmann/json.hpp>

namespace kesvar_cli {

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

void WriteCsvLine(std::ostream& out, const std::vector<std::string>& fields) {
    const char* comma = "";
    for (const std::string& f : fields) {
        out << comma << CsvField(f);
        comma = ",";
    }
    out << "\r\n"; // RFC 4180 ends every record with CRLF
}

std::string Exact(double v) {
    return nlohmann::ordered_json(v).dump();
}

} // namespace kesvar_cli
