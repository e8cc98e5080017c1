#pragma once
// Request scripts for `orvo run`, one request per line:
//   exec T L CDB-HEX... [in N] [out HEX...|outfile PATH] [flags HEX] [timeout S]
//   function T L CODE        any other SRB function code (hexadecimal)
//   reset-bus
//   advance MICROSECONDS
//   # comment
// The whole script is read before anything is sent; an error names its line.

#include "scsiport/host/host_types.h"

#include <istream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace orvo::tool {

struct ScriptRequest {
    scsiport::RequestSpec spec;
};
struct ScriptResetBus {};
struct ScriptAdvance {
    std::uint64_t microseconds = 0;
};

struct ScriptStep {
    unsigned line = 0;
    std::variant<ScriptRequest, ScriptResetBus, ScriptAdvance> action;
};

class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws ScriptError ("NAME:LINE: what").
std::vector<ScriptStep> parse_script(std::istream& in, const std::string& name);

} // namespace orvo::tool
