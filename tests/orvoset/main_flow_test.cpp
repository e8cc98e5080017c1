// The utility's whole run over a table of machines: the start-up checks and their messages,
// the values the dialog starts from, what is saved after OK, and the restart question with
// the restart's own error boxes.

#include "orvoset/resource_app.h"

#include "mfc/dialog_view.h"
#include "orvoset/resource_ids.h"
#include "tests/orvoset/utility_fixture.h"
#include "winapi/restart_record.h"

#include <functional>

namespace {

using orvo::mfc::DialogView;
using orvo::mfc::HeadlessDriver;
using orvo::testing::kAdapterInfo;
using orvo::testing::UtilityTest;
using orvo::winapi::MachineSettings;
using orvo::winapi::MessageBoxCall;
using orvo::winapi::OperatingSystem;
using orvo::testing::CardValues;

MessageBoxCall box(const std::string& text, UINT style = MB_OK) {
    return {text, "orvoset", style | MB_ICONEXCLAMATION};
}
MessageBoxCall restart_error(const char* function) {
    return {function, "shutdown process", MB_ICONHAND};
}

const std::string kSoundDriverNote =
    "　システムを再起動後、サウンドドライバのインストールを行い、I/Oポートアドレス及び IRQ（Interrupt)番号を、"
    "本ユーティリティーで設定した値と同じ値に設定してください。\r"
    "　既にサウンドドライバをインストールしている場合でも、再度ドライバのインストールを行う必要があります。";
const MessageBoxCall kRestartQuestion = box("\t\t設定を変更しました。\r\n"
                                            "変更内容を有効にするためには、システムを再起動する必要があります。\r\n\n"
                                            "\t\tここで再起動しますか？",
                                            MB_YESNO);
const MessageBoxCall kRestarting = box("システムを再起動します。\r\r" + kSoundDriverNote);
const MessageBoxCall kRestartLater = box("変更内容を有効にするために、システムを再起動してください。\r\r" + kSoundDriverNote);

class MainFlow : public UtilityTest {
  protected:
    int run() {
        CResourceApp app;
        return AfxWinMain("/usr/bin/orvoset");
    }
    std::vector<MessageBoxCall> boxes() const {
        std::vector<MessageBoxCall> calls;
        for (const auto& shown : driver_->boxes())
            calls.push_back(shown.call);
        return calls;
    }
};

TEST_F(MainFlow, StartUpChecksEndTheRunWithTheirMessage) {
    const std::string not_nt4 = "WindowsNT4.0専用　Orvo-88リソース変更ユーティリティー\r\r\n"
                                "このユーティリティーは、WindowsNT4.0 専用です。\r\r\n 処理を終了します。";
    const std::string no_irq = " 情報ファイル(adapter.ini)が正しくありません！\n(IRQ情報なし)\n\n\t処理を終了します。";
    const std::string no_io = " 情報ファイル(adapter.ini)が正しくありません！\n(I/O情報なし)\n\n\t処理を終了します。";
    const std::string no_service = "PC Card(Orvo-88) に関するレジストリエントリが存在しません！\n"
                                   "Orvo-88 PC Card ドライバがインストールされていないと思われます。\r\r\n"
                                   " 先に ドライバをインストールしてください！\n";
    const std::string lists_only_from_1 = "[Options]\nDriver=orvont\n[IRQChoices]\nIRQ_1=IRQ 9,9\n"
                                          "[IOBaseAddrChoices]\nIOBase_0=A,320,32\n";
    const std::string no_io_list = "[Options]\nDriver=orvont\n[IRQChoices]\nIRQ_0=IRQ 5,5\n";
    std::string no_driver = kAdapterInfo;
    no_driver.replace(no_driver.find("Driver=orvont"), 13, "Driver=");
    const struct {
        const char* what;
        std::function<void(MachineSettings&)> machine;
        std::optional<std::string> adapter_info; // none: no ADAPTER.INI
        bool service;
        std::vector<MessageBoxCall> shown;
    } cases[] = {
        {"Windows NT 3.51", [](MachineSettings& m) { m.operating_system = OperatingSystem::WindowsNT351; },
         kAdapterInfo, true, {box(not_nt4)}},
        {"Windows 2000", [](MachineSettings& m) { m.operating_system = OperatingSystem::Windows2000; },
         kAdapterInfo, true, {box(not_nt4)}},
        {"Windows 95", [](MachineSettings& m) { m.operating_system = OperatingSystem::Windows95; }, kAdapterInfo,
         true, {box(not_nt4)}},
        {"ADAPTER.INI missing at a drive root: one separator", [](MachineSettings&) {}, std::nullopt, true,
         {box("情報ファイル C:\\ADAPTER.INI が見つかりません。\n\n\t処理を終了します！")}},
        {"ADAPTER.INI missing in the current directory",
         [this](MachineSettings& m) { m.current_directory = dir_ / "Setup"; },
         std::nullopt, true, {box("情報ファイル C:\\Setup\\ADAPTER.INI が見つかりません。\n\n\t処理を終了します！")}},
        {"ADAPTER.INI missing in a current directory longer than the usual buffer",
         [this](MachineSettings& m) {
             m.current_directory = dir_ / std::string(120, 'a') / std::string(120, 'b') / std::string(120, 'c');
         },
         std::nullopt, true,
         {box("情報ファイル C:\\" + std::string(120, 'a') + "\\" + std::string(120, 'b') + "\\" +
              std::string(120, 'c') + "\\ADAPTER.INI が見つかりません。\n\n\t処理を終了します！")}},
        {"IRQ_0 missing, IRQ_1 present", [](MachineSettings&) {}, lists_only_from_1, true, {box(no_irq)}},
        {"no lists at all: only the IRQ message", [](MachineSettings&) {}, "[Options]\nDriver=orvont\n", true,
         {box(no_irq)}},
        {"no I/O choices", [](MachineSettings&) {}, no_io_list, true, {box(no_io)}},
        {"the driver's service key missing", [](MachineSettings&) {}, kAdapterInfo, false, {box(no_service)}},
        {"an empty Driver in ADAPTER.INI", [](MachineSettings&) {}, no_driver, true,
         {box(no_service)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MachineSettings settings;
        c.machine(settings);
        fresh_machine(settings);
        if (c.adapter_info) dir_.write("ADAPTER.INI", *c.adapter_info);
        if (c.service) install_service();
        const std::string registry_before = dir_.read("registry.reg");
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(boxes(), c.shown);
        EXPECT_TRUE(driver_->dialogs().empty());
        EXPECT_EQ(dir_.read("registry.reg"), registry_before);
    }
}

TEST_F(MainFlow, TheDialogStartsFromTheStoredAndAssignedResources) {
    constexpr const char* kAutomatic = "現在の設定 ： 自動設定 ?";
    const struct {
        const char* what;
        std::function<void()> registry;
        const char* irq_label;
        const char* io_label;
        bool irq_automatic, io_automatic;
    } cases[] = {
        {"nothing stored: automatic", [] {}, kAutomatic, kAutomatic, true, true},
        {"the option string's /IRQ:", [this] { put_option_string("/IRQ:A /BM "); }, "現在の設定 ： 10 (0x0a)",
         kAutomatic, true, true}, // automatic I/O brings automatic IRQ
        {"the card's parameters win over /IRQ:",
         [this] {
             put_option_string("/IRQ:5 ");
             put_card_parameters(0x300, 32, 11);
         },
         "現在の設定 ： 11 (0x0b)", "現在の設定 ： 0x0300 - 0x0320", false, false},
        {"parameters without IoLength_1 are not taken",
         [this] {
             put_card_parameters(0x300, 32, 11);
             store_.modify([](orvo::registry::Tree& tree) {
                 return tree.find(orvo::testing::services_key({"orvont1", "Parameters"}))->remove_value("IoLength_1");
             });
         },
         kAutomatic, kAutomatic, true, true},
        {"resources assigned at this boot win, the boxes stay automatic",
         [this] { put_assigned({9, 11}, {{0x340, 32}, {0x400, 8}}); }, "現在の設定 ： 9 (0x09)",
         "現在の設定 ： 0x0340 - 0x0360", true, true},
        {"an assigned interrupt alone",
         [this] {
             put_card_parameters(0x140, 32, 5);
             put_assigned({15}, {});
         },
         "現在の設定 ： 15 (0x0f)", "現在の設定 ： 0x0140 - 0x0160", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh_machine();
        dir_.write("ADAPTER.INI", kAdapterInfo);
        install_service();
        c.registry();
        driver_->inspect([&](const DialogView& view) {
            EXPECT_EQ(view.caption(), "orvont  リソース設定");
            EXPECT_EQ(view.text(IDC_DEVICE_DESCRIPTION), "Orvo-88 PCMCIA Sound/SCSI カード (SCSI)");
            EXPECT_EQ(view.text(IDC_IRQ_CURRENT), c.irq_label);
            EXPECT_EQ(view.text(IDC_IO_CURRENT), c.io_label);
            EXPECT_EQ(view.checked(IDC_IRQ_AUTOMATIC), c.irq_automatic);
            EXPECT_EQ(view.checked(IDC_IO_AUTOMATIC), c.io_automatic);
        });
        driver_->click(IDCANCEL);
        const std::string registry_before = dir_.read("registry.reg");
        run();
        EXPECT_TRUE(boxes().empty());
        EXPECT_EQ(dir_.read("registry.reg"), registry_before); // cancelled: nothing written
    }
}

TEST_F(MainFlow, OkSavesWhatChangedAndOffersTheRestart) {
    auto choose_irq9_and_0x180 = [](HeadlessDriver& d) {
        d.uncheck(IDC_IO_AUTOMATIC).uncheck(IDC_IRQ_AUTOMATIC).select(IDC_IRQ_LIST, 1).select(IDC_IO_LIST, 1);
    };
    const CardValues irq9_at_0x180 = {{"InterruptNumber", 9}, {"IoBaseAddress", 0x180}, {"IoBaseAddress_1", 0x580},
                                      {"IoLength", 32},       {"IoLength_1", 32},       {"Pcmcia", 1}};
    const CardValues stored_0x140 = {{"InterruptNumber", 5}, {"IoBaseAddress", 0x140}, {"IoBaseAddress_1", 0x540},
                                     {"IoLength", 16},       {"IoLength_1", 16},       {"Pcmcia", 1}};
    const CardValues only_pcmcia = {{"Pcmcia", 1}};
    const struct {
        const char* what;
        std::function<void(MachineSettings&)> machine;
        std::function<void()> registry;
        std::function<void(HeadlessDriver&)> steps; // then OK, unless they end the dialog
        std::vector<MessageBoxCall> shown;
        std::optional<std::string> option_string;
        std::optional<CardValues> card;
        std::size_t restarts;
    } cases[] = {
        {"nothing changed: nothing written, nothing asked", [](MachineSettings&) {}, [] {},
         [](HeadlessDriver& d) { d.click(IDOK); }, {}, std::nullopt, std::nullopt, 0},
        {"only the length differs: no write", [](MachineSettings&) {}, [this] { put_card_parameters(0x140, 16, 5); },
         [](HeadlessDriver& d) { d.click(IDOK); }, {}, std::nullopt, stored_0x140, 0},
        {"resources changed, No", [](MachineSettings&) {}, [] {},
         [&](HeadlessDriver& d) { choose_irq9_and_0x180(d); d.click(IDOK).answer(IDNO); },
         {kRestartQuestion, kRestartLater}, "", irq9_at_0x180, 0},
        {"resources changed: the option string is rewritten from the dialog",
         [](MachineSettings&) {}, [this] { put_option_string("/IRQ:5 /DELAY /AS2 "); },
         [](HeadlessDriver& d) { d.uncheck(IDC_IO_AUTOMATIC).select(IDC_IO_LIST, 2).click(IDOK).answer(IDNO); },
         {kRestartQuestion, kRestartLater}, "/AS2 ",
         CardValues{{"IoBaseAddress", 0x340}, {"IoBaseAddress_1", 0x740}, {"IoLength", 32}, {"IoLength_1", 32},
                    {"Pcmcia", 1}},
         0},
        {"only options changed", [](MachineSettings&) {}, [] {},
         [](HeadlessDriver& d) { d.check(IDC_BUS_MASTER).type(IDC_UNIQUE_PARAMETER, "/DMA").click(IDOK).answer(IDNO); },
         {kRestartQuestion, kRestartLater}, "/BM /DMA", std::nullopt, 0},
        {"automatic chosen while values were stored", [](MachineSettings&) {},
         [this] { put_card_parameters(0x140, 16, 5); },
         [](HeadlessDriver& d) { d.check(IDC_IO_AUTOMATIC).click(IDOK).answer(IDNO); },
         {kRestartQuestion, kRestartLater}, "", only_pcmcia, 0},
        {"automatic stored while resources are assigned: OK alone saves", [](MachineSettings&) {},
         [this] { put_assigned({9}, {{0x340, 32}}); },
         [](HeadlessDriver& d) { d.click(IDOK).answer(IDNO); }, {kRestartQuestion, kRestartLater}, "", only_pcmcia, 0},
        {"Yes restarts", [](MachineSettings&) {}, [] {},
         [&](HeadlessDriver& d) { choose_irq9_and_0x180(d); d.click(IDOK).answer(IDYES); },
         {kRestartQuestion, kRestarting}, "", irq9_at_0x180, 1},
        {"Yes without the shutdown privilege", [](MachineSettings& m) { m.user_holds_shutdown_privilege = false; },
         [] {}, [&](HeadlessDriver& d) { choose_irq9_and_0x180(d); d.click(IDOK).answer(IDYES); },
         {kRestartQuestion, kRestarting, restart_error("AdjustTokenPrivileges"), restart_error("ExitWindowsEx")}, "",
         irq9_at_0x180, 0},
        {"Yes when the token cannot be opened", [](MachineSettings& m) { m.open_process_token_fails = true; }, [] {},
         [&](HeadlessDriver& d) { choose_irq9_and_0x180(d); d.click(IDOK).answer(IDYES); },
         {kRestartQuestion, kRestarting, restart_error("OpenProcessToken"), restart_error("AdjustTokenPrivileges"),
          restart_error("ExitWindowsEx")},
         "", irq9_at_0x180, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MachineSettings settings;
        c.machine(settings);
        fresh_machine(settings);
        dir_.write("ADAPTER.INI", kAdapterInfo);
        install_service();
        c.registry();
        c.steps(*driver_);
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(driver_->steps_left(), 0u);
        EXPECT_EQ(boxes(), c.shown);
        EXPECT_EQ(option_string(), c.option_string);
        EXPECT_EQ(card_parameters(), c.card);
        EXPECT_EQ(orvo::winapi::read_restart_requests(dir_ / "restart-requests").size(), c.restarts);
    }
}

} // namespace
