#include "machine/pcmcia/memory_overlay.h"

#include <algorithm>
#include <cstring>

namespace orvo::pcmcia {

void MemoryOverlay::fill(Shown& s) {
    s.window.source->window_read(s.window.first, s.shown);
    std::memcpy(memory_.map(s.window.first, s.shown.size()), s.shown.data(), s.shown.size());
}

void MemoryOverlay::show(const std::vector<OverlayWindow>& windows) {
    const bool same = windows.size() == shown_.size() &&
                      std::equal(windows.begin(), windows.end(), shown_.begin(),
                                 [](const OverlayWindow& w, const Shown& s) { return w == s.window; });
    if (!same) {
        // Uncover from the top down, then cover anew from the bottom up.
        for (auto s = shown_.rbegin(); s != shown_.rend(); ++s) {
            std::memcpy(memory_.map(s->window.first, s->saved.size()), s->saved.data(), s->saved.size());
        }
        shown_.clear();
        for (const OverlayWindow& w : windows) {
            if (w.last < w.first) continue;
            const std::size_t length = std::size_t{w.last} - w.first + 1;
            const std::uint8_t* under = memory_.map(w.first, length);
            if (under == nullptr) continue;  // outside the memory space
            shown_.push_back({w, std::vector<std::uint8_t>(under, under + length), std::vector<std::uint8_t>(length)});
        }
    }
    for (Shown& s : shown_) fill(s);
}

bool MemoryOverlay::covered_above(std::size_t index, std::uint32_t address) const {
    for (std::size_t i = index + 1; i < shown_.size(); ++i) {
        if (address >= shown_[i].window.first && address <= shown_[i].window.last) return true;
    }
    return false;
}

bool MemoryOverlay::write_back() {
    bool wrote = false;
    for (std::size_t w = shown_.size(); w-- > 0;) {
        Shown& s = shown_[w];
        const std::uint8_t* bytes = memory_.map(s.window.first, s.shown.size());
        if (std::memcmp(bytes, s.shown.data(), s.shown.size()) == 0) continue;
        for (std::size_t i = 0; i < s.shown.size(); ++i) {
            const std::uint32_t address = s.window.first + static_cast<std::uint32_t>(i);
            if (bytes[i] == s.shown[i] || covered_above(w, address)) continue;
            s.window.source->window_write(address, bytes[i]);
            s.shown[i] = bytes[i];
            wrote = true;
        }
    }
    return wrote;
}

} // namespace orvo::pcmcia
