// orvoset: the configuration utility on the simulated PC.
//
//   orvoset [--machine DIR] [--script FILE]
//
// Run in the directory that holds ADAPTER.INI. The machine is DIR, else $ORVO_MACHINE, else
// the default machine in memory (its changes are lost at the end). In a terminal the dialogs
// and message boxes are drawn there; with --script the same run takes its user's steps from
// FILE (see mfc/script.h) and writes what it shows to standard output.
//
// Exit status: 0 after the utility's run (it ends the same way whatever it showed), 2 when
// the machine, the script or the terminal cannot be used, 128 + the signal when interrupted.

#include "mfc/headless_driver.h"
#include "mfc/script.h"
#include "mfc/terminal/terminal_host.h"
#include "mfc/text_cells.h"
#include "orvoset/resource_app.h"
#include "system/machine_setup.h"
#include "tools/orvoset/machine_settings.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

// The utility's one application object.
CResourceApp theApp;

namespace {

constexpr int kCannotRun = 2;
constexpr int kInterruptedBase = 128;

std::optional<std::filesystem::path> machine_directory(const std::string& option) {
    if (!option.empty()) return std::filesystem::path(option);
    if (const char* from_environment = std::getenv("ORVO_MACHINE"); from_environment && *from_environment)
        return std::filesystem::path(from_environment);
    return std::nullopt;
}

orvo::winapi::Environment& install_machine(const std::optional<std::filesystem::path>& directory) {
    const std::filesystem::path here = std::filesystem::current_path();
    if (!directory) {
        // The default machine, in memory: Windows NT 4.0 with the driver service installed.
        orvo::winapi::MachineSettings settings;
        settings.current_directory = here;
        orvo::winapi::Environment& environment = orvo::winapi::install_environment(settings);
        orvo::system::install_driver_service(environment.registry(), orvo::system::kDefaultServiceName);
        return environment;
    }
    orvo::winapi::Environment& environment =
        orvo::winapi::install_environment(orvo::orvoset::settings_for_machine(*directory, here));
    // A registry file that does not parse stops the run here, before any question is asked.
    environment.registry().tree();
    return environment;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int run_script(const std::string& script, const char* program) {
    auto driver = std::make_shared<orvo::mfc::HeadlessDriver>();
    for (orvo::mfc::ScriptStep& step : orvo::mfc::parse_script(read_file(script), script))
        driver->add(std::move(step));
    driver->set_transcript(&std::cout);
    orvo::mfc::install_headless_driver(driver);
    orvo::mfc::use_utf8_locale();
    const int status = AfxWinMain(program);
    if (driver->steps_left() != 0)
        throw orvo::mfc::ScriptError(script + ": the utility ended with " + std::to_string(driver->steps_left()) +
                                     " steps of the script not taken");
    return status;
}

int run_in_terminal(const char* program) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        throw std::runtime_error("standard input and output must be a terminal (or give --script FILE)");
    auto host = std::make_shared<orvo::mfc::TerminalHost>();
    orvo::mfc::set_modal_host(host);
    orvo::winapi::environment().set_message_box_presenter(host);
    int status = 0;
    try {
        status = AfxWinMain(program);
    } catch (...) {
        host->release();
        throw;
    }
    host->release();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App cli{"orvoset: changes the Orvo-88 card's IRQ and I/O port and the driver's options on the "
                 "simulated PC. Run it in the directory that holds ADAPTER.INI."};
    std::string machine;
    std::string script;
    cli.add_option("--machine", machine, "machine directory (default: $ORVO_MACHINE, else the default machine in memory)");
    cli.add_option("--script", script, "take the user's steps from FILE instead of the terminal, and write what is shown");
    CLI11_PARSE(cli, argc, argv);

    std::vector<std::string> diagnostics;
    int status = 0;
    try {
        orvo::winapi::Environment& environment = install_machine(machine_directory(machine));
        environment.set_diagnostic_sink([&](std::string_view message) {
            if (diagnostics.empty() || diagnostics.back() != message) diagnostics.emplace_back(message);
        });
        status = script.empty() ? run_in_terminal(argv[0]) : run_script(script, argv[0]);
    } catch (const orvo::mfc::Interrupted& interrupted) {
        std::cerr << "orvoset: interrupted; nothing more was changed\n";
        status = kInterruptedBase + interrupted.signal();
    } catch (const std::exception& error) {
        std::cerr << "orvoset: " << error.what() << '\n';
        status = kCannotRun;
    }
    for (const std::string& message : diagnostics)
        std::cerr << "orvoset: machine: " << message << '\n';
    return status;
}
