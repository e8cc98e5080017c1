#include "machine/fas408/command_history.h"

#include <cinttypes>
#include <cstdio>

namespace orvo::fas408 {

std::string CommandHistory::format() const {
    std::string out;
    for (std::size_t i = 0; i < size(); ++i) {
        const CommandRecord& r = at(i);
        char line[160];
        std::snprintf(line, sizeof line,
                      "%10" PRIu64 ".%03" PRIu64 " CMD %02x  STATUS %02x INT %02x SEQ %u FIFO %2u "
                      "TC %06x DEST %u BANK %u  (%s)\n",
                      r.at / 1000, r.at % 1000, r.command, r.status, r.int_status, r.seq_step,
                      r.fifo_flags, r.count & 0xFFFFFF, r.dest_id, r.bank, r.state);
        out += line;
    }
    return out;
}

} // namespace orvo::fas408
