// The orvo program as a user runs it: a machine directory made by init, boot and run read
// back as JSON, and script errors caught before anything reaches the driver.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs orvo with arguments (shell words) and captures standard output (and error, merged).
Outcome orvo(const std::string& arguments) {
    const std::string command = std::string(ORVO_PROGRAM) + " " + arguments + " 2>&1";
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

struct MachineDir : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("orvo-program-" + std::to_string(getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path machine = dir / "machine";
    void SetUp() override {
        fs::create_directories(dir);
        ASSERT_EQ(orvo("init " + machine.string()).status, 0);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
};

TEST_F(MachineDir, InitWritesAMachineAndRefusesToOverwriteIt) {
    EXPECT_TRUE(fs::exists(machine / "machine.toml"));
    EXPECT_EQ(fs::file_size(machine / "disk0.img"), 64u << 20);
    EXPECT_TRUE(fs::exists(machine / "cdrom3.iso"));
    std::ofstream(machine / "machine.toml", std::ios::app) << "# edited by hand\n";
    const auto before = fs::file_size(machine / "machine.toml");
    const Outcome again = orvo("init " + machine.string());
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.out.find("already holds a machine"), std::string::npos) << again.out;
    EXPECT_EQ(fs::file_size(machine / "machine.toml"), before);
}

TEST_F(MachineDir, BootReportsTheAdapterAndTheDevicesItFound) {
    const Outcome run = orvo("boot --json --machine " + machine.string());
    ASSERT_EQ(run.status, 0) << run.out;
    const auto j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["build"], "orvont");
    EXPECT_TRUE(j["found"]);
    EXPECT_TRUE(j["initialized"]);
    EXPECT_EQ(j["access_range"]["start"], 0x740);
    EXPECT_EQ(j["access_range"]["length"], 0x10);
    EXPECT_EQ(j["chip_base"], 0x740);
    EXPECT_EQ(j["sram"].get<std::string>(), std::string(256, '0'));
    EXPECT_TRUE(j["violations"].empty());
    ASSERT_EQ(j["devices"].size(), 2u) << run.out;
    EXPECT_EQ(j["devices"][0]["target"], 0);
    EXPECT_EQ(j["devices"][0]["type"], "disk");
    EXPECT_EQ(j["devices"][0]["product"], "VIRTUAL DISK");
    EXPECT_EQ(j["devices"][1]["target"], 3);
    EXPECT_EQ(j["devices"][1]["type"], "cdrom");
    EXPECT_EQ(j["adapter"]["OfferPeriod"].size(), 64u);
    EXPECT_EQ(j["adapter"]["AsyncTarget"].size(), 8u);
    EXPECT_EQ(j["adapter"]["TransferWidth"], 2);
}

TEST_F(MachineDir, RunReportsEachRequestAndTheOptionStringTakesEffect) {
    const std::string script = write("read.txt",
                                     "# a test unit ready clears the power-on unit attention\n"
                                     "exec 0 0 00 00 00 00 00 00\n"
                                     "exec 0 0 28 00 00 00 00 00 00 00 01 00 in 512\n"
                                     "exec 5 0 00 00 00 00 00 00\n");
    const Outcome run = orvo("run --json --param '/32 /NS5' --machine " + machine.string() + " " + script);
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 4u) << run.out;
    EXPECT_EQ(objects[0]["line"], 2);
    EXPECT_EQ(objects[0]["scsi_status"], 2);  // unit attention after power-on
    EXPECT_FALSE(objects[0]["sense"].get<std::string>().empty());
    EXPECT_EQ(objects[1]["srb_status"], 1);
    EXPECT_EQ(objects[1]["data_transfer_length"], 512);
    EXPECT_EQ(objects[1]["data"].get<std::string>().size(), 1024u);
    EXPECT_EQ(objects[2]["srb_status"], 0x0A);  // /NS5: never selected
    EXPECT_EQ(objects[3]["adapter"]["TransferWidth"], 1);
    EXPECT_EQ(objects[3]["adapter"]["NoSelect"][5], 1);
    EXPECT_NE(run.status, 0);  // a request failed
}

TEST_F(MachineDir, AdvanceMovesVirtualTimeByItsSpan) {
    const std::string plain = write("plain.txt", "# nothing\n");
    const std::string waiting = write("wait.txt", "advance 2000000\n");
    const auto time_of = [&](const std::string& script) {
        const Outcome run = orvo("run --json --machine " + machine.string() + " " + script);
        EXPECT_EQ(run.status, 0) << run.out;
        return nlohmann::json::parse(run.out)["virtual_time_us"].get<std::uint64_t>();
    };
    EXPECT_EQ(time_of(waiting) - time_of(plain), 2000000u);
}

TEST_F(MachineDir, ScriptErrorsNameTheLineAndSendNothing) {
    const std::string script = write("bad.txt", "exec 0 0 00 00 00 00 00 00\nexec 0 0 28 in\n");
    const std::string trace = (dir / "bus.txt").string();
    const Outcome run = orvo("run --machine " + machine.string() + " --bus-trace " + trace + " " + script);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("bad.txt:2:"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(trace) && fs::file_size(trace) > 0);
}

} // namespace
