// Token privileges and the restart of the simulated PC, message boxes.

#include "winapi/token_api.h"

#include "tests/winapi/machine_fixture.h"
#include "winapi/error_api.h"
#include "winapi/message_box.h"
#include "winapi/restart_record.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using orvo::testing::MachineFixture;
using orvo::winapi::RestartKind;
using orvo::winapi::RestartRequest;

class TokenApi : public MachineFixture {
  protected:
    // Asks to enable one privilege; returns the last error after the call.
    DWORD enable(HANDLE token, const char* privilege) {
        TOKEN_PRIVILEGES request{};
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, privilege, &request.Privileges[0].Luid));
        request.PrivilegeCount = 1;
        request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        SetLastError(12345);
        EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &request, 0, nullptr, nullptr));
        return GetLastError();
    }
    HANDLE open_token(DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY) {
        HANDLE token = nullptr;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), access, &token));
        return token;
    }
    std::vector<RestartRequest> recorded() {
        return orvo::winapi::read_restart_requests(dir_ / "restart-requests");
    }
};

TEST_F(TokenApi, RestartNeedsTheShutdownPrivilegeEnabledAndIsRecorded) {
    HANDLE token = open_token();
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0)); // held but not yet enabled
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_TRUE(recorded().empty());

    EXPECT_EQ(enable(token, "SeShutdownPrivilege"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0));
    EXPECT_TRUE(ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, 0));
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0)); // logging off restarts nothing
    EXPECT_EQ(dir_.read("restart-requests"), "reboot force\npoweroff\n");
    EXPECT_EQ(recorded(), (std::vector<RestartRequest>{{RestartKind::Reboot, true},
                                                       {RestartKind::PowerOff, false}}));
    EXPECT_EQ(orvo::winapi::environment().restarts_requested(), 2);
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_FALSE(CloseHandle(token));
}

TEST_F(TokenApi, AUserWithoutThePrivilegeGetsNotAllAssignedAndNoRestart) {
    orvo::winapi::MachineSettings settings;
    settings.user_holds_shutdown_privilege = false;
    install(settings);
    HANDLE token = open_token();
    EXPECT_EQ(enable(token, "SeShutdownPrivilege"), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "restart-requests"));
    CloseHandle(token);
}

TEST_F(TokenApi, TokenCallsCheckHandlesAccessAndNames) {
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x1234), TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    TOKEN_PRIVILEGES request{1, {{{orvo::winapi::kShutdownPrivilege, 0}, SE_PRIVILEGE_ENABLED}}};
    EXPECT_FALSE(AdjustTokenPrivileges(nullptr, FALSE, &request, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE query_only = open_token(TOKEN_QUERY);
    EXPECT_FALSE(AdjustTokenPrivileges(query_only, FALSE, &request, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(query_only);

    // The previous state comes back when asked for; a short buffer changes nothing.
    HANDLE full = open_token();
    TOKEN_PRIVILEGES previous{};
    DWORD needed = 0;
    EXPECT_FALSE(AdjustTokenPrivileges(full, FALSE, &request, 4, &previous, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, sizeof(TOKEN_PRIVILEGES));
    EXPECT_FALSE(orvo::winapi::environment().privilege_enabled(orvo::winapi::kShutdownPrivilege));
    EXPECT_TRUE(AdjustTokenPrivileges(full, FALSE, &request, sizeof previous, &previous, &needed));
    EXPECT_EQ(previous.PrivilegeCount, 1u);
    EXPECT_EQ(previous.Privileges[0].Attributes, 0u); // it was disabled
    EXPECT_TRUE(orvo::winapi::environment().privilege_enabled(orvo::winapi::kShutdownPrivilege));
    EXPECT_TRUE(AdjustTokenPrivileges(full, TRUE, nullptr, 0, nullptr, nullptr)); // disable all
    EXPECT_FALSE(orvo::winapi::environment().privilege_enabled(orvo::winapi::kShutdownPrivilege));
    CloseHandle(full);

    LUID luid{};
    EXPECT_TRUE(LookupPrivilegeValueA("", "seshutdownprivilege", &luid));
    EXPECT_EQ(luid.LowPart, 19u);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));

    orvo::winapi::MachineSettings settings;
    settings.open_process_token_fails = true;
    install(settings);
    EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_EQ(token, nullptr);
}

TEST_F(TokenApi, AnUnwritableRestartRecordFailsTheRestart) {
    orvo::winapi::MachineSettings settings;
    settings.restart_record = dir_ / "no-such-folder" / "restart-requests";
    install(settings);
    EXPECT_EQ(enable(open_token(), "SeShutdownPrivilege"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(orvo::winapi::environment().restarts_requested(), 0);
    EXPECT_EQ(diagnostics_.size(), 1u);
}

TEST(RestartRecord, RefusesALineThatIsNoRequest) {
    orvo::testing::ScratchDir dir;
    dir.write("restart-requests", "reboot force\nreboot sideways\n");
    EXPECT_THROW(
        {
            try {
                orvo::winapi::read_restart_requests(dir / "restart-requests");
            } catch (const std::runtime_error& e) {
                EXPECT_THAT(e.what(), ::testing::HasSubstr("restart-requests:2:"));
                throw;
            }
        },
        std::runtime_error);
}

TEST(MessageBox, StandInRecordsEveryBoxAndAnswersWithItsDefaultButton) {
    const struct {
        UINT style;
        int answer;
    } defaults[] = {
        {MB_OK | MB_ICONEXCLAMATION, IDOK},
        {MB_YESNO, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_OK | MB_DEFBUTTON3, IDOK}, // no third button: the first
        {MB_ABORTRETRYIGNORE, IDABORT},
    };
    for (const auto& d : defaults)
        EXPECT_EQ(orvo::winapi::default_button(d.style), d.answer) << d.style;

    auto boxes = std::make_shared<orvo::winapi::RecordingMessageBoxes>();
    orvo::winapi::environment().set_message_box_presenter(boxes);
    boxes->queue_answer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "再起動しますか？", "orvoset", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "text", nullptr, MB_YESNO), IDYES);
    EXPECT_EQ(boxes->calls(),
              (std::vector<orvo::winapi::MessageBoxCall>{{"再起動しますか？", "orvoset", MB_YESNO},
                                                         {"text", "Error", MB_YESNO}}));
}

} // namespace
