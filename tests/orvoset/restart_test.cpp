// RestartSystem against the machine's privilege settings: the three error boxes and the
// restart itself.

#include "orvoset/restart.h"

#include "tests/winapi/machine_fixture.h"
#include "winapi/message_box.h"
#include "winapi/restart_record.h"

#include <gtest/gtest.h>

namespace {

using orvo::testing::MachineFixture;
using orvo::winapi::MessageBoxCall;

class RestartSystemTest : public MachineFixture {};

TEST_F(RestartSystemTest, ShowsABoxForEachFailedStepAndRestartsWhenAllowed) {
    const MessageBoxCall open_box{"OpenProcessToken", "shutdown process", MB_ICONHAND};
    const MessageBoxCall adjust_box{"AdjustTokenPrivileges", "shutdown process", MB_ICONHAND};
    const MessageBoxCall exit_box{"ExitWindowsEx", "shutdown process", MB_ICONHAND};
    const struct {
        const char* what;
        bool holds_privilege;
        bool token_fails;
        std::vector<MessageBoxCall> boxes;
        bool restarted;
    } cases[] = {
        {"administrator", true, false, {}, true},
        {"user without the privilege", false, false, {adjust_box, exit_box}, false},
        {"token cannot be opened", true, true, {open_box, adjust_box, exit_box}, false},
        {"neither", false, true, {open_box, adjust_box, exit_box}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir_ / "restart-requests");
        orvo::winapi::MachineSettings settings;
        settings.user_holds_shutdown_privilege = c.holds_privilege;
        settings.open_process_token_fails = c.token_fails;
        auto& env = install(settings);
        auto boxes = std::make_shared<orvo::winapi::RecordingMessageBoxes>();
        env.set_message_box_presenter(boxes);

        RestartSystem();

        EXPECT_EQ(boxes->calls(), c.boxes);
        auto requests = orvo::winapi::read_restart_requests(dir_ / "restart-requests");
        if (c.restarted)
            EXPECT_EQ(requests, (std::vector<orvo::winapi::RestartRequest>{
                                    {orvo::winapi::RestartKind::Reboot, true}}));
        else
            EXPECT_TRUE(requests.empty());
        EXPECT_EQ(env.tokens().open_count(), 0u);
    }
}

} // namespace
