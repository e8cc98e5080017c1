#include "tools/orvo/report.h"

#include "scsiport/scsiport.h"

#include <cstdio>
#include <ostream>

namespace orvo::tool {

const char* srb_status_name(unsigned status) {
    static const struct {
        unsigned code;
        const char* name;
    } names[] = {
        {SRB_STATUS_PENDING, "pending"},
        {SRB_STATUS_SUCCESS, "success"},
        {SRB_STATUS_ABORTED, "aborted"},
        {SRB_STATUS_ABORT_FAILED, "abort failed"},
        {SRB_STATUS_ERROR, "error"},
        {SRB_STATUS_BUSY, "busy"},
        {SRB_STATUS_INVALID_REQUEST, "invalid request"},
        {SRB_STATUS_NO_DEVICE, "no device"},
        {SRB_STATUS_TIMEOUT, "time-out"},
        {SRB_STATUS_SELECTION_TIMEOUT, "selection time-out"},
        {SRB_STATUS_BUS_RESET, "bus reset"},
        {SRB_STATUS_DATA_OVERRUN, "data overrun"},
        {SRB_STATUS_UNEXPECTED_BUS_FREE, "unexpected bus free"},
        {SRB_STATUS_PHASE_SEQUENCE_FAILURE, "phase sequence failure"},
        {SRB_STATUS_NO_HBA, "no adapter"},
    };
    for (const auto& n : names) {
        if (n.code == (status & 0x3F)) return n.name;
    }
    return "other";
}

namespace {
std::string hex_port(const nlohmann::ordered_json& value) {
    if (value.is_null()) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "0x%03llx", static_cast<unsigned long long>(value.get<std::uint64_t>()));
    return text;
}
// "card          socket 0, I/O 0x280-0x29f, IRQ 5, configuration index 0x20 (COR 0x60)"
void print_card_setup(std::ostream& out, const nlohmann::ordered_json& c) {
    char line[160];
    std::snprintf(line, sizeof line, "card          socket %u", c["socket"].get<unsigned>());
    out << line;
    if (!c["io_window"].is_null()) {
        std::snprintf(line, sizeof line, ", I/O 0x%03x-0x%03x", c["io_window"]["start"].get<unsigned>(),
                      c["io_window"]["end"].get<unsigned>());
        out << line;
    }
    if (!c["irq"].is_null()) out << ", IRQ " << c["irq"].get<unsigned>();
    if (c["config_index"].is_null()) {
        out << ", not configured (" << c["state"].get<std::string>() << ")\n";
    } else {
        std::snprintf(line, sizeof line, ", configuration index 0x%02x (COR 0x%02x)\n",
                      c["config_index"].get<unsigned>(), c["cor"].get<unsigned>());
        out << line;
    }
}

} // namespace

void print_boot_report(std::ostream& out, const nlohmann::ordered_json& s) {
    out << "build         " << s["build"].get<std::string>() << '\n';
    out << "adapter       " << (s["found"].get<bool>() ? "found" : "not found");
    if (s["found"].get<bool>()) out << (s["initialized"].get<bool>() ? ", initialised" : ", initialisation failed");
    out << '\n';
    if (s.contains("windows")) {
        const auto& w = s["windows"];
        out << "windows       " << w["os"].get<std::string>() << ", service " << w["service"].get<std::string>() << '\n';
        out << "options       "
            << (w["option_string"].is_null() ? std::string("(none)") : "\"" + w["option_string"].get<std::string>() + "\"")
            << " from " << w["option_source"].get<std::string>() << '\n';
        out << "resources     " << w["card"].get<std::string>();
        if (!w["assigned"].is_null()) {
            out << ':';
            for (const auto& window : w["assigned"]["io"]) {
                const unsigned start = window["start"].get<unsigned>();
                char text[32];
                std::snprintf(text, sizeof text, " 0x%03x-0x%03x", start, start + window["length"].get<unsigned>() - 1);
                out << text;
            }
            out << " IRQ " << w["assigned"]["irq"].get<unsigned>();
        }
        if (w.contains("detail")) out << " (" << w["detail"].get<std::string>() << ")";
        out << '\n';
        if (w["restarts_requested"].get<unsigned>() != 0) {
            out << "restarts      " << w["restarts_requested"].get<unsigned>() << " requested since the last start\n";
        }
    }
    if (!s["access_range"].is_null()) {
        out << "access range  " << hex_port(s["access_range"]["start"]) << ", "
            << s["access_range"]["length"].get<unsigned>() << " ports\n";
        out << "chip          " << hex_port(s["chip_base"]) << '\n';
    }
    if (s.contains("card_setup") && !s["card_setup"].is_null()) print_card_setup(out, s["card_setup"]);
    if (!s["adapter"].is_null()) {
        static const char* widths[] = {"undecided", "32-bit", "byte-wide"};
        const unsigned width = s["adapter"]["TransferWidth"].get<unsigned>();
        out << "transfers     " << (width < 3 ? widths[width] : "32-bit") << '\n';
        // Targets the driver treats specially because of its defaults or the option string.
        for (const auto& [field, label] : {std::pair{"AsyncTarget", "asynchronous  IDs"}, std::pair{"NoSelect", "never select  IDs"}}) {
            std::string ids;
            const auto& flags = s["adapter"][field];
            for (std::size_t id = 0; id < flags.size(); ++id) {
                if (flags[id].get<unsigned>() != 0) ids += " " + std::to_string(id);
            }
            if (!ids.empty()) out << label << ids << '\n';
        }
    }
    if (!s["devices"].empty()) {
        out << "\nID LUN TYPE   VENDOR   PRODUCT          REV\n";
        for (const auto& d : s["devices"]) {
            char line[96];
            std::snprintf(line, sizeof line, "%2u %3u %-6s %-8s %-16s %s\n", d["target"].get<unsigned>(),
                          d["lun"].get<unsigned>(), d["type"].get<std::string>().c_str(),
                          d["vendor"].get<std::string>().c_str(), d["product"].get<std::string>().c_str(),
                          d["revision"].get<std::string>().c_str());
            out << line;
        }
    } else if (s["initialized"].get<bool>()) {
        out << "\nno SCSI devices answered\n";
    }
    for (const auto& e : s["error_log"]) {
        out << "error log     target " << e["target"] << " lun " << e["lun"] << " code " << e["code"] << '\n';
    }
    for (const auto& v : s["violations"]) out << "VIOLATION     " << v.get<std::string>() << '\n';
    out << "virtual time  " << s["virtual_time_us"].get<std::uint64_t>() / 1000.0 << " ms\n";
}

void print_request_line(std::ostream& out, const nlohmann::ordered_json& r) {
    char line[160];
    std::snprintf(line, sizeof line, "line %-4u %-18s scsi %02x  %u bytes", r["line"].get<unsigned>(),
                  srb_status_name(r["srb_status"].get<unsigned>()), r["scsi_status"].get<unsigned>(),
                  r["data_transfer_length"].get<unsigned>());
    out << line;
    if (r.contains("sense")) out << "  sense " << r["sense"].get<std::string>();
    if (r.contains("data")) {
        std::string data = r["data"].get<std::string>();
        if (data.size() > 64) data = data.substr(0, 64) + "...";
        out << "  data " << data;
    }
    out << '\n';
}

} // namespace orvo::tool
