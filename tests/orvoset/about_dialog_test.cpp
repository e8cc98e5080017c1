// The About box: its texts, the bold version line, the line the right mouse button swaps, and
// the bold font released however the box is closed.

#include "orvoset/about_dialog.h"

#include "mfc/dialog_view.h"
#include "orvoset/resource_app.h"
#include "orvoset/resource_ids.h"
#include "tests/orvoset/utility_fixture.h"

namespace {

using orvo::mfc::DialogView;
using orvo::testing::UtilityTest;

constexpr const char* kNotice = "右ボタンを押すと、開発者からのメッセージを表示します。";
constexpr const char* kCredits = "ご利用ありがとうございます。 Orvo-88 開発チーム";

class AboutBox : public UtilityTest {
  protected:
    CResourceApp app_;
};

TEST_F(AboutBox, ShowsItsLinesWithTheVersionInBoldAndSwapsOneOnTheRightButton) {
    driver_->inspect([](const DialogView& view) {
        EXPECT_EQ(view.caption(), "ﾊﾞｰｼﾞｮﾝ情報 ORVOSET");
        EXPECT_EQ(view.text(IDC_ABOUT_CARD), "Orvo-88 PCMCIA Sound/SCSI Card ");
        EXPECT_EQ(view.text(IDC_ABOUT_VERSION), "リソース変更ユーティリティー  Ver.0.252NT (990630)");
        EXPECT_TRUE(view.bold(IDC_ABOUT_VERSION));
        EXPECT_FALSE(view.bold(IDC_ABOUT_CARD));
        EXPECT_EQ(view.text(IDC_ABOUT_NOTICE), kNotice);
    });
    driver_->right_button(true);
    driver_->inspect([](const DialogView& view) { EXPECT_EQ(view.text(IDC_ABOUT_NOTICE), kCredits); });
    driver_->right_button(false);
    driver_->inspect([](const DialogView& view) { EXPECT_EQ(view.text(IDC_ABOUT_NOTICE), kNotice); });
    driver_->click(IDOK);
    CAboutDialog about;
    EXPECT_EQ(about.DoModal(), IDOK);
}

TEST_F(AboutBox, ReleasesItsBoldFontWhetherClosedByOkOrOtherwise) {
    for (bool by_ok : {true, false}) {
        SCOPED_TRACE(by_ok ? "OK" : "close box");
        HFONT bold = nullptr;
        driver_->inspect([&](const DialogView& view) { bold = view.control(IDC_ABOUT_VERSION).font; });
        if (by_ok)
            driver_->click(IDOK);
        else
            driver_->system_command(SC_CLOSE);
        {
            CAboutDialog about;
            about.DoModal();
            ASSERT_NE(bold, nullptr);
            if (by_ok) {
                EXPECT_EQ(orvo::mfc::font_description(bold), nullptr); // released by OK itself
            }
        }
        EXPECT_EQ(orvo::mfc::font_description(bold), nullptr);
    }
}

} // namespace
