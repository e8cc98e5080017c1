#include "system/windows_start.h"

#include "winapi/restart_record.h"

#include <filesystem>
#include <stdexcept>

namespace orvo::system {

namespace {

using registry::KeyPath;
using registry::Tree;
using registry::Value;

const char* const kDriverParameter = "DriverParameter";

KeyPath path_of(std::string_view text) { return registry::split_key_path(text).value_or(KeyPath{}); }

std::optional<std::string> read_string(const Tree& tree, const KeyPath& key, std::string_view name) {
    const registry::Key* k = tree.find(key);
    if (k == nullptr) return std::nullopt;
    const Value* v = k->value(name);
    if (v == nullptr || !registry::is_string_type(v->type)) return std::nullopt;
    std::string text(v->data.begin(), v->data.end());
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::optional<std::uint32_t> read_dword(const registry::Key* key, std::string_view name) {
    if (key == nullptr) return std::nullopt;
    const Value* v = key->value(name);
    if (v == nullptr || v->data.size() != 4) return std::nullopt;
    return std::uint32_t(v->data[0]) | std::uint32_t(v->data[1]) << 8 | std::uint32_t(v->data[2]) << 16 |
           std::uint32_t(v->data[3]) << 24;
}

// The card's PCMCIA parameters as the utility stores them (<service>1\Parameters).
struct CardParameters {
    std::optional<std::uint32_t> io_base, io_length, io_base_1, io_length_1, irq;
};

CardParameters read_card_parameters(const Tree& tree, const std::string& service) {
    KeyPath key = path_of(kServicesKey);
    key.push_back(service + "1");
    key.push_back("Parameters");
    const registry::Key* k = tree.find(key);
    CardParameters p;
    if (read_dword(k, "Pcmcia") != std::optional<std::uint32_t>(1)) return p;  // not for the PCMCIA support
    p.io_base = read_dword(k, "IoBaseAddress");
    p.io_length = read_dword(k, "IoLength");
    p.io_base_1 = read_dword(k, "IoBaseAddress_1");
    p.io_length_1 = read_dword(k, "IoLength_1");
    p.irq = read_dword(k, "InterruptNumber");
    return p;
}

// What other devices of the machine hold.
struct Claims {
    const machine::MachineDescription& machine;

    const machine::IsaDeviceDescription* port_owner(std::uint32_t base, std::uint32_t length) const {
        for (const auto& d : machine.isa_devices) {
            if (d.io_length != 0 && base < d.io_base + d.io_length && d.io_base < base + length) return &d;
        }
        return nullptr;
    }
    const machine::IsaDeviceDescription* irq_owner(std::uint32_t irq) const {
        for (const auto& d : machine.isa_devices) {
            if (d.irq && *d.irq == irq) return &d;
        }
        return nullptr;
    }
};

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// The resources the operating system gives the card, or why it cannot.
struct Choice {
    std::optional<AssignedResources> resources;
    std::string problem;
};

Choice choose_nt_resources(const CardParameters& stored, const Claims& claims) {
    Choice choice;
    AssignedResources r;
    if (stored.io_base) {
        const std::uint32_t length = stored.io_length.value_or(kAutomaticIoLength);
        if (*stored.io_base == 0 || *stored.io_base + length > 0x10000 || length == 0) {
            choice.problem = "stored I/O range " + hex(*stored.io_base) + "/" + std::to_string(length) + " is not usable";
            return choice;
        }
        if (const auto* owner = claims.port_owner(*stored.io_base, length)) {
            choice.problem = "I/O range " + hex(*stored.io_base) + " is taken by " + owner->name;
            return choice;
        }
        r.windows.push_back({static_cast<std::uint16_t>(*stored.io_base), static_cast<std::uint16_t>(length)});
        if (stored.io_base_1 && *stored.io_base_1 != 0 && stored.io_length_1 && *stored.io_length_1 != 0) {
            if (*stored.io_base_1 + *stored.io_length_1 > 0x10000) {
                choice.problem = "stored second I/O range " + hex(*stored.io_base_1) + " is not usable";
                return choice;
            }
            if (const auto* owner = claims.port_owner(*stored.io_base_1, *stored.io_length_1)) {
                choice.problem = "I/O range " + hex(*stored.io_base_1) + " is taken by " + owner->name;
                return choice;
            }
            r.windows.push_back({static_cast<std::uint16_t>(*stored.io_base_1),
                                 static_cast<std::uint16_t>(*stored.io_length_1)});
        }
    } else {
        for (std::uint16_t base : kAutomaticIoBases) {
            if (!claims.port_owner(base, kAutomaticIoLength)) {
                r.windows.push_back({base, kAutomaticIoLength});
                break;
            }
        }
        if (r.windows.empty()) {
            choice.problem = "no free I/O range among the automatic choices";
            return choice;
        }
    }
    if (stored.irq) {
        if (*stored.irq > 15) {
            choice.problem = "stored IRQ " + std::to_string(*stored.irq) + " does not exist";
            return choice;
        }
        if (const auto* owner = claims.irq_owner(*stored.irq)) {
            choice.problem = "IRQ " + std::to_string(*stored.irq) + " is taken by " + owner->name;
            return choice;
        }
        r.irq = static_cast<std::uint8_t>(*stored.irq);
    } else {
        bool found = false;
        for (std::uint8_t irq : kAutomaticIrqs) {
            if (!claims.irq_owner(irq)) {
                r.irq = irq;
                found = true;
                break;
            }
        }
        if (!found) {
            choice.problem = "no free IRQ among the automatic choices";
            return choice;
        }
    }
    choice.resources = r;
    return choice;
}

Choice choose_card_services_resources(const machine::CardDescription& card, const Claims& claims) {
    Choice choice;
    if (const auto* owner = claims.port_owner(card.io_base, card.io_length)) {
        choice.problem = "I/O range " + hex(card.io_base) + " is taken by " + owner->name;
    } else if (const auto* owner = claims.irq_owner(card.irq)) {
        choice.problem = "IRQ " + std::to_string(card.irq) + " is taken by " + owner->name;
    } else {
        choice.resources = AssignedResources{{{static_cast<std::uint16_t>(card.io_base),
                                               static_cast<std::uint16_t>(card.io_length)}},
                                             card.irq};
    }
    return choice;
}

unsigned take_restart_requests(const machine::MachineDescription& machine) {
    if (machine.directory.empty()) return 0;
    const std::filesystem::path record = machine.directory / winapi::kRestartRecordFileName;
    const unsigned count = static_cast<unsigned>(winapi::read_restart_requests(record).size());
    std::error_code ignored;
    std::filesystem::remove(record, ignored);  // counted by this start
    return count;
}

} // namespace

const char* to_string(CardSetUp setup) {
    switch (setup) {
    case CardSetUp::ConfiguredBySystem: return "configured by the operating system";
    case CardSetUp::LeftToDriver: return "left to the driver";
    case CardSetUp::NotConfigured: return "not configured";
    case CardSetUp::NoCard: return "no card";
    }
    return "?";
}

StartReport start_windows(machine::SimulatedPc& pc, registry::Store& registry, const StartOptions& options) {
    const machine::MachineDescription& machine = pc.description();
    StartReport report;
    report.build = options.build.value_or(machine.build);
    if (!machine::is_build(report.build)) throw std::invalid_argument("unknown build '" + report.build + "'");
    report.service = report.build;
    report.restarts_requested = take_restart_requests(machine);

    const Tree& tree = registry.tree();
    if (options.param) {
        report.option_string = options.param;
        report.option_source = "command line";
    } else {
        KeyPath device = path_of(kServicesKey);
        device.insert(device.end(), {report.service, "Parameters", "Device"});
        report.option_string = read_string(tree, device, kDriverParameter);
        report.option_source = report.option_string ? "registry" : "none";
    }
    report.adapter.argument_string = report.option_string;

    const Claims claims{machine};
    Choice choice;
    if (!machine.card.present) {
        report.card = CardSetUp::NoCard;
    } else if (report.build == "orvontx") {
        report.card = CardSetUp::LeftToDriver;
    } else {
        choice = report.build == "orvont" ? choose_nt_resources(read_card_parameters(tree, report.service), claims)
                                          : choose_card_services_resources(machine.card, claims);
        if (choice.resources) {
            const AssignedResources& r = *choice.resources;
            pc.place_configured_card(report.build, r.windows.front().base);
            report.card = CardSetUp::ConfiguredBySystem;
            report.assigned = r;
            report.adapter.first_access_range =
                scsiport::BusRange{r.windows.front().base, r.windows.front().length, false};
            report.adapter.bus_interrupt_level = r.irq;
            report.adapter.bus_interrupt_vector = r.irq;
        } else {
            report.card = CardSetUp::NotConfigured;
            report.detail = choice.problem;
        }
    }

    // The assigned-resource record is volatile: rewritten at every start of Windows NT.
    if (machine::is_windows_nt(machine.os)) {
        const bool recorded = report.build == "orvont" && report.assigned.has_value();
        registry.modify([&](Tree& t) {
            const KeyPath key = path_of(kAssignedResourcesKey);
            if (!recorded) {
                registry::Key* k = t.find(key);
                return k != nullptr && k->remove_value(report.service);
            }
            const Value value = Value::from_bytes(registry::kTypeFullResourceDescriptor,
                                                  encode_full_resource_descriptor(*report.assigned));
            registry::Key& k = t.create(key);
            const Value* old = k.value(report.service);
            if (old != nullptr && *old == value) return false;
            k.set_value(report.service, value);
            return true;
        });
    }
    const bool nt_build = report.build == "orvont" || report.build == "orvontx";
    if (nt_build != machine::is_windows_nt(machine.os)) {
        report.detail += std::string(report.detail.empty() ? "" : "; ") + report.build + " is a " +
                         (nt_build ? "Windows NT" : "Windows 95") + " driver, the machine runs " +
                         machine::os_display_name(machine.os);
    }
    return report;
}

} // namespace orvo::system
