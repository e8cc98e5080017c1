#pragma once
// A simulated PC in a scratch directory: registry file, restart record and drive C: all live
// there, and the directory is the current directory. Installed as the process-wide
// environment for one test; the default environment returns afterwards.

#include "tests/registry/scratch_dir.h"
#include "winapi/environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvo::testing {

class MachineFixture : public ::testing::Test {
  protected:
    void SetUp() override { install(); }
    void TearDown() override { winapi::install_environment(winapi::MachineSettings{}); }

    // Installs a machine; settings left empty point into the scratch directory.
    winapi::Environment& install(winapi::MachineSettings settings = {}) {
        if (settings.registry_file.empty()) settings.registry_file = dir_ / "registry.reg";
        if (settings.restart_record.empty()) settings.restart_record = dir_ / "restart-requests";
        if (settings.current_directory.empty()) settings.current_directory = dir_.path();
        if (settings.drive_root == "/") settings.drive_root = dir_.path();
        winapi::Environment& env = winapi::install_environment(settings);
        env.set_diagnostic_sink(
            [this](std::string_view message) { diagnostics_.emplace_back(message); });
        return env;
    }

    ScratchDir dir_;
    std::vector<std::string> diagnostics_;
};

} // namespace orvo::testing
