#include "tools/orvo/adapter_record.h"

#include <stdexcept>

namespace orvo::tool {

nlohmann::ordered_json adapter_record_orvontx(const void* record);
nlohmann::ordered_json adapter_record_orvont(const void* record);
nlohmann::ordered_json adapter_record_orvo95a(const void* record);
nlohmann::ordered_json adapter_record_orvo95(const void* record);

nlohmann::ordered_json adapter_record_fields(const std::string& build, const void* record) {
    using Reader = nlohmann::ordered_json (*)(const void*);
    static const struct {
        const char* build;
        Reader read;
    } readers[] = {{"orvontx", adapter_record_orvontx},
                   {"orvont", adapter_record_orvont},
                   {"orvo95a", adapter_record_orvo95a},
                   {"orvo95", adapter_record_orvo95}};
    for (const auto& r : readers) {
        if (build == r.build) return r.read(record);
    }
    throw std::invalid_argument("unknown build " + build);
}

} // namespace orvo::tool
