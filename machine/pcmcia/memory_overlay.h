#pragma once
// Keeps the ISA memory buffer showing what the open memory windows select. The driver reads
// and writes a window with plain byte accesses into the buffer, so:
//   - show() fills each window's range from its source and keeps the bytes it covered, which
//     come back when the window goes away (nothing stored in ISA memory is lost);
//   - write_back() finds the bytes the processor changed since the last fill and hands them
//     to the source (a card register write reaches the card). A write of the very value the
//     window showed cannot be told from no write; for card memory that is the same thing.
// Windows listed later lie on top: where windows overlap, the topmost one is seen and written.

#include "machine/io/memory_space.h"

#include <cstdint>
#include <span>
#include <vector>

namespace orvo::pcmcia {

// What a window shows, by host address.
class WindowSource {
public:
    // Fills out with what the window shows from host address first on (a whole window at a
    // time: the source decodes its window once, not once per byte).
    virtual void window_read(std::uint32_t first, std::span<std::uint8_t> out) const = 0;
    virtual void window_write(std::uint32_t host_address, std::uint8_t value) = 0;

protected:
    ~WindowSource() = default;
};

struct OverlayWindow {
    std::uint32_t first = 0;
    std::uint32_t last = 0;  // inclusive, inside the memory space
    WindowSource* source = nullptr;
    bool operator==(const OverlayWindow&) const = default;
};

class MemoryOverlay {
public:
    explicit MemoryOverlay(io::MemorySpace& memory) : memory_(memory) {}

    // Shows these windows (lowest first) and no others, filling every one afresh.
    void show(const std::vector<OverlayWindow>& windows);
    // Hands changed bytes to their window's source; true when there were any.
    bool write_back();
    // Restores the memory under every window.
    void clear() { show({}); }
    bool empty() const { return shown_.empty(); }

private:
    struct Shown {
        OverlayWindow window;
        std::vector<std::uint8_t> saved;  // ISA memory under the window
        std::vector<std::uint8_t> shown;  // what the last fill put there
    };
    bool covered_above(std::size_t index, std::uint32_t address) const;
    void fill(Shown& s);

    io::MemorySpace& memory_;
    std::vector<Shown> shown_;
};

} // namespace orvo::pcmcia
