// The orvoset program as a user runs it: a scripted run on a machine directory (and on the
// machine named by $ORVO_MACHINE, and on the default machine in memory), what it writes, and
// the clear errors for a machine, registry or script it cannot use.

#include "machine/registry/store.h"
#include "system/machine_setup.h"
#include "tests/orvoset/program_runner.h"
#include "tests/orvoset/saved_settings.h"
#include "tests/registry/scratch_dir.h"
#include "winapi/restart_record.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using orvo::testing::CardValues;
using orvo::testing::quoted;
using orvo::testing::saved_card_parameters;
using orvo::testing::saved_option_string;
using orvo::testing::run_command;
using orvo::testing::ScratchDir;

class OrvosetProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.write("machine.toml", "[system]\nos = \"nt4\"\n\n[user]\nshutdown_privilege = true\n");
        orvo::system::set_up_utility_files(dir_.path(), orvo::system::default_adapter_info());
    }
    // Runs orvoset in the machine directory (where ADAPTER.INI is), with a script.
    orvo::testing::ProgramRun orvoset(const std::string& arguments, const std::string& script = "",
                                      const std::string& environment = "") {
        if (!script.empty()) dir_.write("steps.script", script);
        return run_command("cd " + quoted(dir_.path().string()) + " && " + environment + " " + ORVOSET_PROGRAM +
                           " " + arguments + " </dev/null");
    }
    std::string machine_option() const { return "--machine " + quoted(dir_.path().string()); }
    ScratchDir dir_;
};

TEST_F(OrvosetProgram, AScriptedRunChangesTheMachineAndWritesWhatItShowed) {
    const std::string script = "uncheck 1017\n"
                               "uncheck 1016\n"
                               "select 1002 2\n"
                               "select 1003 4\n"
                               "uncheck 1030\n"
                               "press 1\n"
                               "answer yes\n";
    for (const bool by_environment : {false, true}) {
        SCOPED_TRACE(by_environment ? "$ORVO_MACHINE" : "--machine");
        std::filesystem::remove(dir_ / "restart-requests");
        std::filesystem::remove(dir_ / "registry.reg");
        SetUp();
        const auto run = by_environment
                             ? orvoset("--script steps.script", script, "ORVO_MACHINE=" + quoted(dir_.path().string()))
                             : orvoset(machine_option() + " --script steps.script", script);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("dialog 102 \"orvont  リソース設定\" opens"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("dialog 102 ends with ok"), std::string::npos);
        EXPECT_NE(run.output.find("  | システムを再起動します。"), std::string::npos);
        EXPECT_NE(run.output.find("  -> yes"), std::string::npos);

        orvo::registry::Store registry(dir_ / "registry.reg");
        EXPECT_EQ(saved_card_parameters(registry),
                  (CardValues{{"InterruptNumber", 10}, {"IoBaseAddress", 0x280}, {"IoBaseAddress_1", 0x680},
                              {"IoLength", 32}, {"IoLength_1", 32}, {"Pcmcia", 1}}));
        EXPECT_EQ(saved_option_string(registry), "/AS0 ");
        EXPECT_EQ(orvo::winapi::read_restart_requests(dir_ / "restart-requests"),
                  (std::vector<orvo::winapi::RestartRequest>{{orvo::winapi::RestartKind::Reboot, true}}));
    }
}

TEST_F(OrvosetProgram, WithoutAMachineItRunsOnTheDefaultOneInMemory) {
    const std::string registry_before = dir_.read("registry.reg");
    const auto run = orvoset("--script steps.script", "check 1044\nclick 1\nanswer no\n", "ORVO_MACHINE=");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("  -> no"), std::string::npos) << run.output;
    EXPECT_EQ(dir_.read("registry.reg"), registry_before);
}

TEST_F(OrvosetProgram, AMachineRegistryOrScriptItCannotUseIsAClearError) {
    const struct {
        const char* what;
        const char* file; // written before the run, with text
        const char* text;
        const char* arguments;
        const char* message;
    } cases[] = {
        {"not a machine directory", nullptr, nullptr, "--machine /nonexistent/machine --script steps.script",
         "/nonexistent/machine/machine.toml: cannot be read"},
        {"an unknown operating system", "machine.toml", "[system]\nos = \"os2\"\n", "--script steps.script",
         "machine.toml:2: os must be one of nt351, nt4, win2000, win95, win98"},
        {"a description that is not TOML", "machine.toml", "[system\n", "--script steps.script", "machine.toml:1:"},
        {"a flag that is not true or false", "machine.toml", "[user]\nshutdown_privilege = 1\n",
         "--script steps.script", "machine.toml:2: shutdown_privilege must be true or false"},
        {"a registry file that does not parse", "registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\X]\n\"v\"=hex:zz\n",
         "--script steps.script", "registry.reg:4"},
        {"a script line it cannot read", "steps.script", "show\nfrobnicate\n", "--script steps.script",
         "steps.script:2: unknown step 'frobnicate'"},
        {"a script the dialog cannot follow", "steps.script", "select 1002 99\n", "--script steps.script",
         "steps.script:1: list 1002 has no entry 99"},
        {"steps left over", "steps.script", "click 2\nclick 2\n", "--script steps.script",
         "the utility ended with 1 steps of the script not taken"},
        {"a script that ends too early", "steps.script", "show\n", "--script steps.script",
         "the script ended while dialog 102"},
        {"no terminal and no script", nullptr, nullptr, "", "standard input and output must be a terminal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove_all(entry.path());
        SetUp();
        dir_.write("steps.script", "click 2\n");
        if (c.file) dir_.write(c.file, c.text);
        const std::string registry_before = dir_.read("registry.reg");
        const auto run = orvoset(std::string(c.arguments).find("--machine") == 0 ? c.arguments
                                                                                  : machine_option() + " " + c.arguments);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(dir_.read("registry.reg"), registry_before); // nothing stored was touched
    }
}

#ifdef ORVO_PROGRAM
TEST(OrvoInit, MakesAMachineTheUtilityRunsOn) {
    ScratchDir dir;
    const std::string machine = (dir / "machine").string();
    const auto init = run_command(std::string(ORVO_PROGRAM) + " init " + quoted(machine));
    ASSERT_EQ(init.status, 0) << init.output;
    EXPECT_NE(init.output.find("registry.reg, ADAPTER.INI"), std::string::npos) << init.output;
    std::ofstream(dir / "steps.script") << "show\nclick 2\n";
    const auto run = run_command("cd " + quoted(machine) + " && " + ORVOSET_PROGRAM + " --machine . --script " +
                                 quoted((dir / "steps.script").string()));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"0x280-0x29F\"=2097792"), std::string::npos) << run.output;
}
#endif

} // namespace
