#include "tools/orvo/adapter_record.h"

#include <stdexcept>

namespace orvo::tool {

nlohmann::ordered_json adapter_record_orvontx(const void* record);
nlohmann::ordered_json adapter_record_orvont(const void* record);
nlohmann::ordered_json adapter_record_orvo95a(const void* record);
nlohmann::ordered_json adapter_record_orvo95(const void* record);
std::vector<std::string> adapter_record_problems_orvontx(const void* record);
std::vector<std::string> adapter_record_problems_orvont(const void* record);
std::vector<std::string> adapter_record_problems_orvo95a(const void* record);
std::vector<std::string> adapter_record_problems_orvo95(const void* record);

namespace {

// The per-build code that knows each build's record layout.
struct RecordCode {
    const char* build;
    nlohmann::ordered_json (*read)(const void* record);
    std::vector<std::string> (*check)(const void* record);
};

const RecordCode& record_code(const std::string& build) {
    static const RecordCode kBuilds[] = {
        {"orvontx", adapter_record_orvontx, adapter_record_problems_orvontx},
        {"orvont", adapter_record_orvont, adapter_record_problems_orvont},
        {"orvo95a", adapter_record_orvo95a, adapter_record_problems_orvo95a},
        {"orvo95", adapter_record_orvo95, adapter_record_problems_orvo95},
    };
    for (const RecordCode& code : kBuilds) {
        if (build == code.build) return code;
    }
    throw std::invalid_argument("unknown build " + build);
}

} // namespace

nlohmann::ordered_json adapter_record_fields(const std::string& build, const void* record) {
    return record_code(build).read(record);
}

std::vector<std::string> adapter_record_problems(const std::string& build, const void* record) {
    return record_code(build).check(record);
}

} // namespace orvo::tool
