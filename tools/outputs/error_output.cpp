#include "outputs/error_output.h"

#include <nlohmann/json.hpp>

namespace kesvar_cli {

int PrintError(std::ostream& err, const CommandError& e, bool json) {
    if (json) {
        nlohmann::ordered_json j;
        j["error"] = e.what();
        j["file"] = e.file.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(e.file);
        j["path"] = e.path.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(e.path);
        j["status"] = e.status;
        err << j.dump() << "\n" << std::flush;
        return e.status;
    }
    err << "kesvar: ";
    if (!e.file.empty()) err << e.file << ": ";
    if (!e.path.empty()) err << e.path << ": ";
    err << e.what() << "\n";
    if (!e.hint.empty()) err << e.hint << "\n";
    err << std::flush;
    return e.status;
}

} // namespace kesvar_cli
