#include "mfc/resources.h"

namespace orvo::mfc {
namespace {

const ResourceModule*& current_module() {
    static const ResourceModule* module = nullptr;
    return module;
}

template <class Resource> const Resource* find_by_id(std::span<const Resource> table, UINT id) {
    for (const Resource& resource : table)
        if (resource.id == id) return &resource;
    return nullptr;
}

} // namespace

void set_resource_module(const ResourceModule* module) {
    current_module() = module;
}

const ResourceModule* resource_module() {
    return current_module();
}

const DialogTemplate* find_dialog_template(UINT id) {
    const ResourceModule* module = current_module();
    return module ? find_by_id(module->dialogs, id) : nullptr;
}

const char* find_string(UINT id) {
    const ResourceModule* module = current_module();
    const StringResource* entry = module ? find_by_id(module->strings, id) : nullptr;
    return entry ? entry->text : nullptr;
}

const IconResource* find_icon(UINT id) {
    const ResourceModule* module = current_module();
    return module ? find_by_id(module->icons, id) : nullptr;
}

} // namespace orvo::mfc
