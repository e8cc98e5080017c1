// The settings dialog: what it shows at the start (labels, automatic boxes, lists, caption,
// the option boxes), the click rules of the automatic boxes, what OK writes back and what
// Cancel leaves alone, and its system menu, About box, paint and drag icon.

#include "orvoset/resource_dialog.h"

#include "mfc/dialog_view.h"
#include "mfc/gdi.h"
#include "tests/orvoset/utility_fixture.h"

#include <functional>

namespace {

using orvo::mfc::DialogView;
using orvo::mfc::HeadlessDriver;
using orvo::testing::UtilityTest;

struct Inputs {
    LONG irq = -1, base = -1, length = -1;
    int irq_automatic = 0, io_automatic = 0;
    std::string options;
    std::vector<std::string> irq_choices = {"IRQ 5,5", "IRQ 9,9", "IRQ 10,10"};
    std::vector<std::string> io_choices = {"0x140-0x15F,320,32", "0x180-0x19F,384,32"};
};

Inputs inputs(LONG irq, LONG base, LONG length, int irq_automatic = 0, int io_automatic = 0,
              std::string options = "") {
    Inputs in;
    in.irq = irq;
    in.base = base;
    in.length = length;
    in.irq_automatic = irq_automatic;
    in.io_automatic = io_automatic;
    in.options = std::move(options);
    return in;
}

constexpr const char* kAutomatic = "現在の設定 ： 自動設定 ?";

class SettingsDialog : public UtilityTest {
  protected:
    // Runs the dialog on the inputs, with the steps queued on the driver before.
    INT_PTR run(const Inputs& in) {
        irq_choices_.Elements() = in.irq_choices;
        io_choices_.Elements() = in.io_choices;
        options_ = CDriverOptions("orvont");
        options_.ParseOptions(in.options);
        options_.StoredText = in.options;
        dialog_ = std::make_unique<CResourceDialog>(irq_choices_, io_choices_, options_);
        dialog_->m_strDriver = "orvont";
        dialog_->m_strDeviceDescription = "Orvo-88 カード";
        dialog_->m_nIrq = in.irq;
        dialog_->m_nIoBase = in.base;
        dialog_->m_nIoLength = in.length;
        dialog_->m_bIrqAutomatic = in.irq_automatic;
        dialog_->m_bIoAutomatic = in.io_automatic;
        return dialog_->DoModal();
    }

    CResourceApp app_;
    CStringArray irq_choices_, io_choices_;
    CDriverOptions options_;
    std::unique_ptr<CResourceDialog> dialog_;
};

TEST_F(SettingsDialog, StartsWithTheCurrentValuesAndTheAutomaticBoxes) {
    const struct {
        const char* what;
        Inputs in;
        const char* irq_label;
        const char* io_label;
        bool irq_checked, irq_box_enabled, irq_list_enabled;
        bool io_checked, io_list_enabled;
    } cases[] = {
        {"explicit values", inputs(10, 0x340, 32), "現在の設定 ： 10 (0x0a)", "現在の設定 ： 0x0340 - 0x0360",
         false, true, true, false, true},
        {"IRQ 5 stored, I/O automatic: automatic I/O brings automatic IRQ", inputs(5, -1, -1),
         "現在の設定 ： 5 (0x05)", kAutomatic, true, false, false, true, false},
        {"IRQ automatic only", inputs(-1, 0x140, 32), kAutomatic, "現在の設定 ： 0x0140 - 0x0160",
         true, true, false, false, true},
        {"automatic stored, assigned values shown", inputs(9, 0x300, 16, 1, 1), "現在の設定 ： 9 (0x09)",
         "現在の設定 ： 0x0300 - 0x0310", true, false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        driver_->inspect([&](const DialogView& view) {
            EXPECT_EQ(view.caption(), "orvont  リソース設定"); // two blanks
            EXPECT_EQ(view.text(IDC_DEVICE_DESCRIPTION), "Orvo-88 カード");
            EXPECT_EQ(view.text(IDC_IRQ_CURRENT), c.irq_label);
            EXPECT_EQ(view.text(IDC_IO_CURRENT), c.io_label);
            EXPECT_EQ(view.checked(IDC_IRQ_AUTOMATIC), c.irq_checked);
            EXPECT_EQ(view.enabled(IDC_IRQ_AUTOMATIC), c.irq_box_enabled);
            EXPECT_EQ(view.enabled(IDC_IRQ_LIST), c.irq_list_enabled);
            EXPECT_EQ(view.checked(IDC_IO_AUTOMATIC), c.io_checked);
            EXPECT_EQ(view.enabled(IDC_IO_LIST), c.io_list_enabled);
            // The lists open on their first entry, not on the current value.
            EXPECT_EQ(view.selection(IDC_IRQ_LIST), 0);
            EXPECT_EQ(view.selection(IDC_IO_LIST), 0);
            EXPECT_EQ(view.focus_id(), IDOK);
        });
        driver_->click(IDCANCEL);
        EXPECT_EQ(run(c.in), IDCANCEL);
    }
}

TEST_F(SettingsDialog, ListsShowTheDisplayTextsAndCarryTheValues) {
    Inputs in;
    in.irq_choices = {"\"IRQ 5\",5", "9"};
    in.io_choices = {"A;832;32", "\"B\",864", "C,0x340,32,99"};
    driver_->inspect([](const DialogView& view) {
        EXPECT_EQ(view.entries(IDC_IRQ_LIST), (std::vector<std::string>{" IRQ 5 ", "9"}));
        EXPECT_EQ(view.entry_data(IDC_IRQ_LIST, 0), 5u);
        EXPECT_EQ(view.entry_data(IDC_IRQ_LIST, 1), 9u);
        EXPECT_EQ(view.entries(IDC_IO_LIST), (std::vector<std::string>{"A", " B ", "C"}));
        EXPECT_EQ(view.entry_data(IDC_IO_LIST, 0), 832u + (32u << 16));
        EXPECT_EQ(view.entry_data(IDC_IO_LIST, 1), 864u);         // no length field: 0
        EXPECT_EQ(view.entry_data(IDC_IO_LIST, 2), 0u + (32u << 16)); // hexadecimal reads as 0
    });
    driver_->click(IDCANCEL);
    run(in);
}

TEST_F(SettingsDialog, OptionBoxesShowTheOptionSet) {
    const struct {
        const char* options;
        std::vector<int> unchecked; // every other box is checked
    } cases[] = {
        {"", {IDC_BUS_MASTER}},
        {"/AS /ND3 /NS1 /NS6 /BM /PARITYOFF ",
         {1030, 1031, 1032, 1033, 1034, 1035, 1036, 1026, 1038, 1043, IDC_PARITY}},
        {"/AS7 /NS7 ", {IDC_BUS_MASTER}}, // ID 7 has no box
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        driver_->inspect([&](const DialogView& view) {
            for (int id : {1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
                           1037, 1038, 1039, 1040, 1041, 1042, 1043, IDC_BUS_MASTER, IDC_PARITY}) {
                const bool unchecked = std::find(c.unchecked.begin(), c.unchecked.end(), id) != c.unchecked.end();
                EXPECT_EQ(view.checked(id), !unchecked) << id;
            }
            EXPECT_EQ(view.text(IDC_UNIQUE_PARAMETER), "");
        });
        driver_->click(IDCANCEL);
        Inputs in;
        in.options = c.options;
        run(in);
    }
}

TEST_F(SettingsDialog, AutomaticIoBringsAutomaticIrqAndUncheckingItLeavesTheIrqBox) {
    driver_->click(IDC_IO_AUTOMATIC);
    driver_->inspect([](const DialogView& view) {
        EXPECT_FALSE(view.enabled(IDC_IO_LIST));
        EXPECT_TRUE(view.checked(IDC_IRQ_AUTOMATIC));
        EXPECT_FALSE(view.enabled(IDC_IRQ_AUTOMATIC));
        EXPECT_FALSE(view.enabled(IDC_IRQ_LIST));
    });
    driver_->click(IDC_IO_AUTOMATIC);
    driver_->inspect([](const DialogView& view) {
        EXPECT_TRUE(view.enabled(IDC_IO_LIST));
        EXPECT_TRUE(view.enabled(IDC_IRQ_AUTOMATIC));
        EXPECT_TRUE(view.checked(IDC_IRQ_AUTOMATIC)); // stays as the IO box left it
        EXPECT_FALSE(view.enabled(IDC_IRQ_LIST));
    });
    driver_->click(IDC_IRQ_AUTOMATIC);
    driver_->inspect([](const DialogView& view) { EXPECT_TRUE(view.enabled(IDC_IRQ_LIST)); });
    driver_->click(IDC_IRQ_AUTOMATIC);
    driver_->inspect([](const DialogView& view) { EXPECT_FALSE(view.enabled(IDC_IRQ_LIST)); });
    driver_->click(IDCANCEL);
    run(inputs(5, 0x340, 32));
}

TEST_F(SettingsDialog, OkWritesTheChosenResourcesAndOptionsBack) {
    const struct {
        const char* what;
        Inputs in;
        std::function<void(HeadlessDriver&)> steps;
        LONG irq, base, length;
        int irq_automatic, io_automatic;
        const char* composed; // the option string the set composes afterwards
    } cases[] = {
        {"the chosen entries", inputs(5, 0x340, 16),
         [](HeadlessDriver& d) { d.select(IDC_IRQ_LIST, 1).select(IDC_IO_LIST, 1); }, 9, 0x180, 32, 0, 0, ""},
        {"automatic keeps the length", inputs(5, 0x340, 16), [](HeadlessDriver& d) { d.check(IDC_IO_AUTOMATIC); }, -1,
         -1, 16, 1, 1, ""},
        {"automatic IRQ only", inputs(5, 0x340, 16), [](HeadlessDriver& d) { d.check(IDC_IRQ_AUTOMATIC); }, -1, 0x140,
         32, 1, 0, ""},
        {"\"/AS\" untouched stays the shorthand (flag 7 is kept)", inputs(-1, -1, -1, 0, 0, "/AS "),
         [](HeadlessDriver&) {}, -1, -1, -1, 1, 1, "/AS "},
        {"synchronous ID 0 after \"/AS\": IDs 1 to 7 listed", inputs(-1, -1, -1, 0, 0, "/AS "),
         [](HeadlessDriver& d) { d.check(IDC_SYNCHRONOUS_ID0); }, -1, -1, -1, 1, 1,
         "/AS1 /AS2 /AS3 /AS4 /AS5 /AS6 /AS7 "},
        {"the disconnect boxes cannot be changed", inputs(-1, -1, -1, 0, 0, "/ND2 /ND7 "),
         [](HeadlessDriver& d) { d.click(IDC_DISCONNECT_ID0 + 2).click(IDC_DISCONNECT_ID0); }, -1, -1, -1, 1, 1,
         "/ND2 /ND7 "},
        {"boxes and the unique text", inputs(-1, -1, -1, 0, 0, "/NS3 "),
         [](HeadlessDriver& d) {
             d.uncheck(IDC_USED_ID0 + 5).check(IDC_USED_ID0 + 3).check(IDC_BUS_MASTER).uncheck(IDC_PARITY);
             d.uncheck(IDC_SYNCHRONOUS_ID0 + 6).type(IDC_UNIQUE_PARAMETER, "/DELAY  /RESET=1E");
         },
         -1, -1, -1, 1, 1, "/AS6 /NS5 /BM /PARITYOFF /DELAY  /RESET=1E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.steps(*driver_);
        driver_->click(IDOK);
        ASSERT_EQ(run(c.in), IDOK);
        EXPECT_EQ(dialog_->m_nIrq, c.irq);
        EXPECT_EQ(dialog_->m_nIoBase, c.base);
        EXPECT_EQ(dialog_->m_nIoLength, c.length);
        EXPECT_EQ(dialog_->m_bIrqAutomatic, c.irq_automatic);
        EXPECT_EQ(dialog_->m_bIoAutomatic, c.io_automatic);
        EXPECT_EQ(options_.ComposeOptions(), c.composed);
    }
}

TEST_F(SettingsDialog, CancelWritesNothingBack) {
    const Inputs in = inputs(10, 0x340, 32, 0, 0, "/AS3 /NS1 ");
    driver_->select(IDC_IRQ_LIST, 2).check(IDC_IO_AUTOMATIC).check(IDC_BUS_MASTER).uncheck(IDC_SYNCHRONOUS_ID0);
    driver_->type(IDC_UNIQUE_PARAMETER, "/DMA").key({orvo::mfc::KeyCode::Escape});
    EXPECT_EQ(run(in), IDCANCEL);
    CDriverOptions untouched("orvont");
    untouched.ParseOptions(in.options);
    untouched.StoredText = in.options;
    EXPECT_EQ(options_, untouched);
    EXPECT_EQ(dialog_->m_nIrq, 10);
    EXPECT_EQ(dialog_->m_nIoBase, 0x340);
    EXPECT_EQ(dialog_->m_bIoAutomatic, 0);
}

TEST_F(SettingsDialog, TheAboutBoxOpensFromItsButtonAndFromTheSystemMenu) {
    driver_->inspect([](const DialogView& view) {
        const std::vector<MenuItem> menu = view.system_menu();
        ASSERT_EQ(menu.size(), 3u);
        EXPECT_EQ(menu[0].id, SC_CLOSE);
        EXPECT_TRUE(menu[1].separator());
        EXPECT_EQ(menu[2].text, "ﾊﾞｰｼﾞｮﾝ情報(ORVOSET) (&A)...");
        EXPECT_EQ(menu[2].id, IDM_ABOUTBOX);
    });
    driver_->click(IDC_ABOUT).click(IDOK);
    driver_->system_command(IDM_ABOUTBOX).click(IDOK);
    driver_->system_command(IDM_ABOUTBOX | 0xF).click(IDOK); // the low four bits are the system's
    driver_->system_command(SC_MOVE).click(IDCANCEL);
    run({});
    EXPECT_EQ(driver_->dialogs(), (std::vector<UINT>{IDD_ORVOSET_DIALOG, IDD_ABOUTBOX, IDD_ABOUTBOX, IDD_ABOUTBOX}));
}

TEST_F(SettingsDialog, MinimizedItPaintsItsIconCentredAndDragsWithIt) {
    orvo::mfc::ScriptStep minimize = orvo::mfc::ScriptStep::of(orvo::mfc::ScriptStep::Action::Minimize);
    driver_->add(minimize);
    driver_->inspect([](const DialogView& view) {
        const orvo::mfc::Window& window = *orvo::mfc::find_window(view.handle());
        const HICON icon = orvo::mfc::load_icon(IDR_MAINFRAME);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(view.icon(true), icon);
        EXPECT_EQ(view.icon(false), icon);
        ASSERT_EQ(window.painted.size(), 1u);
        EXPECT_EQ(window.painted[0].icon, icon);
        // The client area is 129 by 32 cells, the icon 6 by 3.
        EXPECT_EQ(window.painted[0].at.x, (129 - 6 + 1) / 2);
        EXPECT_EQ(window.painted[0].at.y, (32 - 3 + 1) / 2);
        EXPECT_EQ(orvo::mfc::send_message(view.handle(), WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(icon));
    });
    driver_->add(orvo::mfc::ScriptStep::of(orvo::mfc::ScriptStep::Action::Restore));
    driver_->inspect([](const DialogView& view) { EXPECT_TRUE(orvo::mfc::find_window(view.handle())->painted.empty()); });
    driver_->click(IDCANCEL);
    run({});
}

} // namespace
