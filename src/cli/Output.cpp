#include "Output.h"

#include "ShownText.h"

void WriteText(std::ostream& out, const std::vector<CPortReport>& reports, bool prefixed) {
    for (const CPortReport& report : reports) {
        for (const std::string& line : report.lines) {
            out << (prefixed ? report.port + ": " : std::string())
                << (report.styled ? line : ShownText(line)) << '\n';
        }
    }
    out.flush();
}

Json JsonOf(const CPortReport& report) {
    Json object = Json::object();
    if (!report.port.empty()) {
        object["port"] = report.port;
    }
    object["ok"] = report.exit == 0;
    object["exit"] = report.exit;
    for (const auto& [key, value] : report.fields.items()) {
        if (key != "ok" && key != "exit") { // the status is said once, as above
            object[key] = value;
        }
    }
    if (!report.error.empty()) {
        object["error"] = report.error;
    }
    return object;
}

void WriteJson(std::ostream& out, const std::vector<CPortReport>& reports, bool array) {
    Json document;
    if (array) {
        document = Json::array();
        for (const CPortReport& report : reports) {
            document.push_back(JsonOf(report));
        }
    } else if (!reports.empty()) {
        document = JsonOf(reports.front());
    }
    // Texts from files and modules may hold any byte; never throw on them.
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    out.flush();
}
