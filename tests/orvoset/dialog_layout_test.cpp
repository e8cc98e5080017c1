// Dialogs 100 and 102 in the terminal: at the roomy scale every text fits the control made for
// it (Japanese characters two cells each), no two controls share a cell, each row of boxes
// sits inside its group box, and everything lies inside the dialog; at the compact scale the
// controls still do not overlap.

#include "orvoset/resource_dialog.h"

#include "mfc/dialog_view.h"
#include "mfc/layout.h"
#include "mfc/text_cells.h"
#include "tests/orvoset/utility_fixture.h"

namespace {

using namespace orvo::mfc;
using orvo::testing::UtilityTest;

// The cells a control's text needs as the painter draws it.
int cells_needed(const Window& control) {
    switch (control.kind) {
    case WindowKind::CheckBox: return text_cells("[x] " + control.text);
    case WindowKind::PushButton: return text_cells("[ " + control.text + " ]");
    case WindowKind::Static: return text_cells(control.text);
    default: return 0;
    }
}

void check_layout(const DialogView& view, Scale scale, bool texts_fit) {
    const Window& dialog = *find_window(view.handle());
    const CellRect client = client_cells(dialog, scale);
    std::vector<const Window*> controls;
    for (HWND child : dialog.children)
        controls.push_back(find_window(child));
    for (const Window* control : controls) {
        const CellRect cells = control_cells(*control, scale);
        SCOPED_TRACE(std::string(kind_name(control->kind)) + " " + std::to_string(control->id) + " " + control->text);
        EXPECT_GE(cells.row, 0);
        EXPECT_GE(cells.col, 0);
        EXPECT_LE(cells.bottom(), client.rows);
        EXPECT_LE(cells.right(), client.cols);
        if (texts_fit) {
            EXPECT_LE(cells_needed(*control), cells.cols);
        }
        for (const Window* other : controls) {
            if (other == control || control->kind == WindowKind::GroupBox || other->kind == WindowKind::GroupBox)
                continue;
            EXPECT_FALSE(cells.overlaps(control_cells(*other, scale))) << "overlaps " << other->id << " " << other->text;
        }
    }
}

// Controls inside the group box titled title: wholly at the roomy scale; at the compact one
// rounding may reach the frame with the last cell, which the painter then leaves to the frame.
void check_framed(const DialogView& view, const std::string& title, std::vector<int> ids) {
    const Window& dialog = *find_window(view.handle());
    for (Scale scale : {kRoomyScale, kCompactScale}) {
        for (HWND child : dialog.children) {
            const Window& group = *find_window(child);
            if (group.kind != WindowKind::GroupBox || group.text != title) continue;
            const CellRect frame = control_cells(group, scale);
            const CellRect inside{frame.row + 1, frame.col + 1, frame.rows - 2, frame.cols - 2};
            for (int id : ids) {
                const CellRect cells = control_cells(view.control(id), scale);
                const bool whole = scale.den == kRoomyScale.den;
                EXPECT_TRUE(inside.contains(cells.row, cells.col) &&
                            (!whole || inside.contains(cells.bottom() - 1, cells.right() - 1)))
                    << title << " " << id << " at scale 1/" << scale.den;
            }
        }
    }
}

class DialogLayout : public UtilityTest {
  protected:
    CResourceApp app_;
};

TEST_F(DialogLayout, BothDialogsFitTheirTextsAndKeepTheirControlsApart) {
    CStringArray irqs, ios;
    irqs.Elements() = {"IRQ 15,15"};
    ios.Elements() = {"0x340-0x35F,832,32"};
    CDriverOptions options("orvont");
    CResourceDialog dialog(irqs, ios, options);
    dialog.m_strDriver = "orvont";
    dialog.m_strDeviceDescription = "Orvo-88 PCMCIA Sound/SCSI カード (SCSI)";
    dialog.m_nIrq = 15;
    dialog.m_nIoBase = 0x340;
    dialog.m_nIoLength = 32;
    driver_->inspect([](const DialogView& view) {
        EXPECT_EQ(view.text(IDC_IO_CURRENT), "現在の設定 ： 0x0340 - 0x0360"); // the longest label
        check_layout(view, kRoomyScale, true);
        check_layout(view, kCompactScale, false);
        check_framed(view, "IRQ番号", {IDC_IRQ_LIST, IDC_IRQ_CURRENT, IDC_IRQ_AUTOMATIC});
        check_framed(view, "IOポート", {IDC_IO_LIST, IDC_IO_CURRENT, IDC_IO_AUTOMATIC});
        check_framed(view, "切断 (Disconnect) 有効 SCSI ID", {1023, 1024, 1025, 1026, 1027, 1028, 1029});
        check_framed(view, "同期転送 有効 SCSI ID", {1030, 1031, 1032, 1033, 1034, 1035, 1036});
        check_framed(view, "使用する SCSI ID", {1037, 1038, 1039, 1040, 1041, 1042, 1043});
    });
    driver_->click(IDC_ABOUT);
    auto check_about = [](const DialogView& view) {
        EXPECT_EQ(view.template_id(), IDD_ABOUTBOX);
        check_layout(view, kRoomyScale, true);
        check_layout(view, kCompactScale, false);
    };
    driver_->inspect(check_about);
    driver_->right_button(true).inspect(check_about); // the other line of 1054
    driver_->right_button(false);
    driver_->click(IDOK).click(IDCANCEL);
    dialog.DoModal();
}

} // namespace
