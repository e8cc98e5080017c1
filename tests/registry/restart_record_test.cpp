// The restart record when an append was cut short by a crash: the torn last line is no
// request and costs none of the lines before it, and the next append cuts it off.

#include "tests/registry/scratch_dir.h"
#include "winapi/restart_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvo::winapi {
namespace {

using orvo::testing::ScratchDir;

TEST(RestartRecord, ATornLastLineIsSkippedAndCutOffByTheNextAppend) {
    using std::string_literals::operator""s;
    const RestartRequest reboot{RestartKind::Reboot, false};
    const RestartRequest forced_shutdown{RestartKind::Shutdown, true};
    const RestartRequest poweroff{RestartKind::PowerOff, false};
    struct Case {
        const char* what;
        std::string content;
        std::vector<RestartRequest> requests;  // before the next append
        std::string whole_lines;
    };
    const Case cases[] = {
        {"a torn word", "reboot\nshutdown force\npowe", {reboot, forced_shutdown}, "reboot\nshutdown force\n"},
        {"a torn line that reads as another request", "shutdown force\nreboot", {forced_shutdown},
         "shutdown force\n"},
        {"bytes a crash left zeroed", "reboot\n\0\0\0\0"s, {reboot}, "reboot\n"},
        {"nothing but a torn line", "reboot fo", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.write("restart-requests", c.content);
        EXPECT_EQ(read_restart_requests(dir / "restart-requests"), c.requests);

        append_restart_request(dir / "restart-requests", poweroff);
        EXPECT_EQ(dir.read("restart-requests"), c.whole_lines + "poweroff\n");
        std::vector<RestartRequest> with_append = c.requests;
        with_append.push_back(poweroff);
        EXPECT_EQ(read_restart_requests(dir / "restart-requests"), with_append);
    }
}

} // namespace
} // namespace orvo::winapi
