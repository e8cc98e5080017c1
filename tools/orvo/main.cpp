// orvo: boot the simulated PC with an Orvo-88 driver build, scan its SCSI bus, and run
// requests through the driver.
#include "machine/description.h"
#include "tools/orvo/commands.h"
#include "tools/orvo/script.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    using namespace orvo::tool;
    CLI::App app{"orvo: the Orvo-88 drivers on a simulated PC"};
    app.require_subcommand(1);

    SessionOptions session;
    OutputOptions output;
    std::string machine_dir, build, param, port_trace, bus_trace;
    auto add_session_options = [&](CLI::App* cmd) {
        cmd->add_option("--machine", machine_dir, "machine directory (default: $ORVO_MACHINE, else a default machine)");
        cmd->add_option("--build", build, "driver build: orvontx, orvont, orvo95a, orvo95")
            ->check(CLI::IsMember({"orvontx", "orvont", "orvo95a", "orvo95"}));
        cmd->add_option("--param", param, "option string handed to the driver");
        cmd->add_option("--port-trace", port_trace, "write every port access to FILE");
        cmd->add_option("--bus-trace", bus_trace, "write every SCSI bus event to FILE");
        cmd->add_flag("--json", output.json, "machine-readable output");
    };

    std::string init_dir;
    auto* init = app.add_subcommand("init", "write a new machine directory");
    init->add_option("DIR", init_dir, "directory to create")->required();

    auto* boot = app.add_subcommand("boot", "load the driver, initialise it and scan the bus");
    add_session_options(boot);

    std::string script;
    auto* run = app.add_subcommand("run", "boot, then run one request per script line");
    add_session_options(run);
    run->add_option("SCRIPT", script, "request script, or - for standard input")->required();

    BlockTransfer transfer;
    std::uint64_t count = 0;
    std::string file;
    auto add_block_options = [&](CLI::App* cmd) {
        add_session_options(cmd);
        cmd->add_option("--target", transfer.target, "SCSI ID")->check(CLI::Range(0, 7));
        cmd->add_option("--lun", transfer.lun, "logical unit")->check(CLI::Range(0, 7));
        cmd->add_option("--lba", transfer.lba, "first block");
        cmd->add_option("--count", count, "number of blocks");
        cmd->add_option("FILE", file, "file to read into / write from")->required();
    };
    auto* read = app.add_subcommand("read", "copy blocks from a SCSI device into a file");
    add_block_options(read);
    auto* write = app.add_subcommand("write", "copy a file onto blocks of a SCSI device");
    add_block_options(write);

    ChaosOptions chaos_options;
    std::string chaos_build, chaos_trace;
    auto* chaos = app.add_subcommand("chaos", "random requests through each build against misbehaving targets");
    chaos->add_option("--seed", chaos_options.seed, "seed of the run (the same seed replays it)")->capture_default_str();
    chaos->add_option("--requests", chaos_options.requests, "requests per build")->capture_default_str();
    chaos->add_option("--build", chaos_build, "one build only: orvontx, orvont, orvo95a, orvo95")
        ->check(CLI::IsMember({"orvontx", "orvont", "orvo95a", "orvo95"}));
    chaos->add_option("--bus-trace", chaos_trace, "write every SCSI bus event to FILE");
    chaos->add_flag("--json", output.json, "machine-readable output");

    CLI11_PARSE(app, argc, argv);
    if (!chaos_build.empty()) chaos_options.builds = {chaos_build};
    if (!chaos_trace.empty()) chaos_options.bus_trace = chaos_trace;

    if (!machine_dir.empty()) session.machine_dir = machine_dir;
    if (!build.empty()) session.build = build;
    for (CLI::App* cmd : {boot, run, read, write}) {
        if (cmd->parsed() && cmd->count("--param") > 0) session.param = param;
    }
    if (!port_trace.empty()) session.port_trace = port_trace;
    if (!bus_trace.empty()) session.bus_trace = bus_trace;
    transfer.file = file;
    for (CLI::App* cmd : {read, write}) {
        if (cmd->parsed() && cmd->count("--count") > 0) transfer.count = count;
    }

    try {
        if (init->parsed()) return command_init(init_dir);
        if (boot->parsed()) return command_boot(session, output);
        if (run->parsed()) return command_run(session, output, script);
        if (read->parsed()) return command_read(session, output, transfer);
        if (write->parsed()) return command_write(session, output, transfer);
        if (chaos->parsed()) return command_chaos(chaos_options, output);
    } catch (const std::exception& e) {
        std::cerr << "orvo: " << e.what() << '\n';
        return 1;
    }
    return 1;
}
