// orvoset in a real terminal: tmux runs it on a machine directory; the test changes the IRQ
// and a synchronous box with the keyboard, confirms, answers No to the restart question, and
// checks the screens on the way and the machine's registry file afterwards.

#include "machine/registry/store.h"
#include "system/machine_setup.h"
#include "tests/orvoset/program_runner.h"
#include "tests/orvoset/saved_settings.h"
#include "tests/registry/scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

using orvo::testing::quoted;
using orvo::testing::run_command;
using orvo::testing::ScratchDir;

// A tmux server of its own with one session of a fixed size, killed at the end.
class TmuxSession {
  public:
    TmuxSession(const ScratchDir& dir, const std::string& command, int cols = 140, int rows = 40) : dir_(dir) {
        dir.write("tmux.conf", "set -g default-terminal screen\nset -sg escape-time 0\n");
        socket_ = "orvoset-test-" + std::to_string(::getpid());
        const auto started = tmux("-f " + quoted((dir / "tmux.conf").string()) + " new-session -d -x " +
                                  std::to_string(cols) + " -y " + std::to_string(rows) + " -s utility " +
                                  quoted(command));
        ok_ = started.status == 0;
        error_ = started.output;
    }
    ~TmuxSession() { tmux("kill-server"); }

    bool started() const { return ok_; }
    const std::string& error() const { return error_; }
    void keys(const std::string& keys) { tmux("send-keys -t utility " + keys); }
    void resize(int cols, int rows) {
        tmux("resize-window -t utility -x " + std::to_string(cols) + " -y " + std::to_string(rows));
    }
    // A left click at a screen cell, as the terminal reports it to the program (X10 mouse
    // report: button, column and row, each plus 32, from 1).
    void click(int row, int col) {
        char report[64];
        std::snprintf(report, sizeof report, "1b 5b 4d 20 %02x %02x 1b 5b 4d 23 %02x %02x", 33 + col, 33 + row,
                      33 + col, 33 + row);
        tmux(std::string("send-keys -t utility -H ") + report);
    }
    std::string screen() { return tmux("capture-pane -p -t utility").output; }
    // Waits until the screen shows text; the last screen either way.
    std::string wait_for(const std::string& text) {
        std::string shown;
        for (int i = 0; i < 100; ++i) {
            shown = screen();
            if (shown.find(text) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return shown;
    }

  private:
    orvo::testing::ProgramRun tmux(const std::string& arguments) {
        return run_command("tmux -L " + socket_ + " " + arguments);
    }
    const ScratchDir& dir_;
    std::string socket_;
    bool ok_ = false;
    std::string error_;
};

// A machine directory set up for the utility, and the command that runs it there in tmux and
// then shows its exit status.
std::string set_up_machine(const ScratchDir& dir) {
    dir.write("machine.toml", "[system]\nos = \"nt4\"\n");
    orvo::system::set_up_utility_files(dir.path(), orvo::system::default_adapter_info());
    return "cd " + quoted(dir.path().string()) + " && LANG=C.UTF-8 LC_ALL=C.UTF-8 " + ORVOSET_PROGRAM +
           " --machine . ; echo ORVOSET-EXIT=$? ; sleep 60";
}

std::string line_with(const std::string& screen, const std::string& text) {
    const std::size_t at = screen.find(text);
    if (at == std::string::npos) return "";
    const std::size_t start = screen.rfind('\n', at);
    return screen.substr(start == std::string::npos ? 0 : start + 1,
                         screen.find('\n', at) - (start == std::string::npos ? 0 : start + 1));
}

TEST(OrvosetInTerminal, TheKeyboardChangesTheIrqAndASynchronousBox) {
    if (run_command("command -v tmux").status != 0) GTEST_SKIP() << "tmux is not installed (make test installs it)";
    ScratchDir dir;
    TmuxSession tmux(dir, set_up_machine(dir));
    ASSERT_TRUE(tmux.started()) << tmux.error();

    std::string screen = tmux.wait_for("リソース設定の変更を行います。");
    EXPECT_NE(screen.find("orvont  リソース設定"), std::string::npos) << screen;
    EXPECT_NE(screen.find("現在の設定 ： 自動設定 ?"), std::string::npos) << screen;
    EXPECT_NE(line_with(screen, "自動設定 ").find("[x] 自動設定"), std::string::npos) << screen;

    // The focus starts on OK. Tab to the I/O box and uncheck it; back to the IRQ box.
    tmux.keys("Tab Tab Tab Space BTab BTab BTab Space");
    screen = tmux.wait_for("[ ] 自動設定                                │");
    EXPECT_EQ(line_with(screen, "自動設定 ").find("[x]"), std::string::npos) << screen;
    // The IRQ list: open it, two entries down, choose.
    tmux.keys("BTab Enter Down Down Enter");
    screen = tmux.wait_for("[IRQ 10 ");
    ASSERT_NE(screen.find("[IRQ 10 "), std::string::npos) << screen;
    // On to synchronous transfer for ID 0 and off with it; back to OK and confirm.
    tmux.keys("Tab Tab Tab Tab Tab Tab Space");
    screen = tmux.wait_for("[ ] ID0");
    EXPECT_NE(line_with(screen, "[ ] ID0").find("│  [x] ID0"), std::string::npos) << screen; // disconnect row as it was
    tmux.keys("BTab BTab BTab BTab BTab BTab BTab BTab Enter");
    screen = tmux.wait_for("ここで再起動しますか？");
    EXPECT_NE(screen.find("設定を変更しました。"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[ はい(Y) ]"), std::string::npos) << screen;
    tmux.keys("n");
    screen = tmux.wait_for("変更内容を有効にするために、システムを再起動してください。");
    EXPECT_NE(screen.find("変更内容を有効にするために"), std::string::npos) << screen;
    tmux.keys("Enter");
    screen = tmux.wait_for("ORVOSET-EXIT=");
    EXPECT_NE(screen.find("ORVOSET-EXIT=0"), std::string::npos) << screen;

    orvo::registry::Store registry(dir / "registry.reg");
    EXPECT_EQ(orvo::testing::saved_card_parameters(registry),
              (orvo::testing::CardValues{{"InterruptNumber", 10}, {"IoBaseAddress", 0x140}, {"IoBaseAddress_1", 0x540},
                                         {"IoLength", 32}, {"IoLength_1", 32}, {"Pcmcia", 1}}))
        << dir.read("registry.reg");
    EXPECT_EQ(orvo::testing::saved_option_string(registry), "/AS0 ");
    EXPECT_FALSE(std::filesystem::exists(dir / "restart-requests")); // answered No
}

TEST(OrvosetInTerminal, WaitsForRoomThenTakesTheMenuAndTheMouseAndEndsOnCtrlC) {
    if (run_command("command -v tmux").status != 0) GTEST_SKIP() << "tmux is not installed (make test installs it)";
    ScratchDir dir;
    TmuxSession tmux(dir, set_up_machine(dir), 80, 24);
    ASSERT_TRUE(tmux.started()) << tmux.error();
    const std::string registry_before = dir.read("registry.reg");

    std::string screen = tmux.wait_for("too small");
    EXPECT_NE(screen.find("it needs 99 x 34, this one is 80 x"), std::string::npos) << screen;
    tmux.resize(140, 40);
    screen = tmux.wait_for("リソース設定の変更を行います。");
    ASSERT_NE(screen.find("orvont  リソース設定"), std::string::npos) << screen;

    // The system menu, its About item by key, and the About box's OK by Enter.
    tmux.keys("F10");
    screen = tmux.wait_for("ﾊﾞｰｼﾞｮﾝ情報(ORVOSET) (A)...");
    EXPECT_NE(screen.find("閉じる(C)"), std::string::npos) << screen;
    tmux.keys("a");
    screen = tmux.wait_for("Ver.0.252NT (990630)");
    EXPECT_NE(screen.find("ﾊﾞｰｼﾞｮﾝ情報 ORVOSET"), std::string::npos) << screen;
    tmux.keys("Enter");
    // A click on the I/O automatic box (the dialog's frame starts at row 3, column 4 on this
    // screen; the box is row 7, column 58 of its client area).
    tmux.click(3 + 1 + 7, 4 + 1 + 58);
    screen = tmux.wait_for("│ [ ] 自動設定");
    EXPECT_EQ(screen.find("Ver.0.252NT"), std::string::npos) << screen;
    EXPECT_NE(line_with(screen, "自動設定 ").find("[x] 自動設定"), std::string::npos) << screen;
    EXPECT_NE(line_with(screen, "自動設定 ").find("│ [ ] 自動設定"), std::string::npos) << screen;

    tmux.keys("C-c");
    screen = tmux.wait_for("ORVOSET-EXIT=");
    EXPECT_NE(screen.find("ORVOSET-EXIT=130"), std::string::npos) << screen;
    EXPECT_EQ(dir.read("registry.reg"), registry_before);
}

} // namespace
