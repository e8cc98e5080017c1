#pragma once
// Human-readable reports of a session and of requests.

#include <nlohmann/json.hpp>

#include <iosfwd>

namespace orvo::tool {

void print_boot_report(std::ostream& out, const nlohmann::ordered_json& summary);
void print_request_line(std::ostream& out, const nlohmann::ordered_json& request);

const char* srb_status_name(unsigned status);

} // namespace orvo::tool
