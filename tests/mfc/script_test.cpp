// Scripts for the headless driver (every line form and its errors) and what the driver does
// with steps a dialog cannot take: it stops with an error naming the step.

#include "tests/mfc/sample_dialog.h"

#include "mfc/script.h"

#include <sstream>

namespace {

using namespace orvo::mfc;
using orvo::testing::FrameworkTest;
using orvo::testing::SampleDialog;
using namespace orvo::testing;

TEST(Script, ReadsEveryStepForm) {
    const std::vector<ScriptStep> steps = parse_script("# a comment\r\n"
                                                       "click 1\n"
                                                       "  \n"
                                                       "press 0x10\n"
                                                       "check 1017\n"
                                                       "uncheck 1016\n"
                                                       "select 1003 2\n"
                                                       "type 1021 /DELAY # not a comment\n"
                                                       "type 1021\n"
                                                       "key tab backtab f10\n"
                                                       "text a b\n"
                                                       "syscommand 0xF060\n"
                                                       "rbutton down\n"
                                                       "answer yes\n"
                                                       "show\n",
                                                       "s");
    using A = ScriptStep::Action;
    std::vector<std::tuple<A, int, int, std::string>> read;
    for (const ScriptStep& step : steps)
        read.emplace_back(step.action, step.id, step.number, step.text);
    const std::vector<std::tuple<A, int, int, std::string>> expected = {
        {A::Click, 1, 0, ""},        {A::Click, 16, 0, ""},    {A::Check, 1017, 0, ""},
        {A::Uncheck, 1016, 0, ""},   {A::Select, 1003, 2, ""}, {A::Type, 1021, 0, "/DELAY # not a comment"},
        {A::Type, 1021, 0, ""},      {A::Key, 0, 0, ""},       {A::Key, 0, 0, ""},
        {A::Key, 0, 0, ""},          {A::Key, 0, 0, ""},       {A::Key, 0, 0, ""},
        {A::Key, 0, 0, ""},          {A::SystemCommand, 0, 0xF060, ""},
        {A::RightButtonDown, 0, 0, ""}, {A::Answer, 0, IDYES, ""}, {A::Show, 0, 0, ""},
    };
    EXPECT_EQ(read, expected);
    EXPECT_EQ(steps[9].key, (Key{KeyCode::SystemMenu}));
    EXPECT_EQ(steps[11].key, (Key{KeyCode::Space}));
    EXPECT_EQ(steps[12].key, (Key{KeyCode::Character, U'b'}));
    EXPECT_EQ(steps[0].where, "s:2");
}

TEST(Script, NamesTheLineOfAStepItCannotRead) {
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"frobnicate 3", "s:2: unknown step 'frobnicate'"},
        {"select 1003", "s:2: missing entry"},
        {"click x1", "s:2: control id must be a number"},
        {"click -1", "s:2: control id must be a number"},
        {"click 99999999999", "s:2: control id must be a number"},
        {"click 1 2", "s:2: unexpected '2'"},
        {"key", "s:2: key needs at least one key name"},
        {"key tab sideways", "s:2: unknown key 'sideways'"},
        {"answer maybe", "s:2: unknown button 'maybe'"},
        {"rbutton left", "s:2: rbutton takes down or up"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        try {
            parse_script(std::string("show\n") + c.line + "\n", "s");
            ADD_FAILURE() << "no error";
        } catch (const ScriptError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
        }
    }
}

TEST_F(FrameworkTest, TheDriverStopsAtAStepTheDialogCannotTake) {
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"click 1010\n", "s:1: dialog 200 has no control 1010"},
        {"select 20 5\n", "s:1: list 20 has no entry 5 (it has 1)"},
        {"check 20\n", "s:1: control 20 is not a check box"},
        {"type 10 x\n", "s:1: control 10 is not an edit field"},
        {"answer yes\n", "s:1: answer yes, but no message box is shown: dialog 200 \"見本\" waits for input"},
        {"click 10\n", "the script ended while dialog 200 \"見本\" waits for input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        auto driver = std::make_shared<HeadlessDriver>();
        for (ScriptStep& step : parse_script(c.script, "s"))
            driver->add(std::move(step));
        install_headless_driver(driver);
        SampleDialog dialog;
        dialog.m_Choices = {"一"};
        try {
            dialog.DoModal();
            ADD_FAILURE() << "no error";
        } catch (const ScriptError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
        // However the run was left, the dialog's window is gone.
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
}

TEST_F(FrameworkTest, MessageBoxesTakeTheirAnswerOrTheirDefaultAndAreWrittenDown) {
    std::ostringstream transcript;
    driver_->set_transcript(&transcript);
    driver_->answer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "再起動しますか？\r\n\tはい/いいえ", "orvoset", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "二番目", "orvoset", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "x", "shutdown process", MB_ICONHAND), IDOK);
    EXPECT_EQ(transcript.str(), "message box \"orvoset\" (!) [yes] [no]\n"
                                "  | 再起動しますか？\n"
                                "  |         はい/いいえ\n"
                                "  -> no\n"
                                "message box \"orvoset\" [yes] [no]\n"
                                "  | 二番目\n"
                                "  -> no\n"
                                "message box \"shutdown process\" (X) [ok]\n"
                                "  | x\n"
                                "  -> ok\n");
    driver_->answer(IDYES);
    EXPECT_THROW(MessageBoxA(nullptr, "x", "c", MB_OK), ScriptError); // an OK box has no Yes
}

TEST_F(FrameworkTest, ADisabledControlTakesNoInputAndTheTranscriptSaysSo) {
    std::ostringstream transcript;
    driver_->set_transcript(&transcript);
    SampleDialog dialog;
    dialog.m_Choices = {"一"};
    driver_->click(kLockedBox).check(kLockedBox).click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(transcript.str(), "dialog 200 \"見本\" opens\n"
                                "  (control 11 is disabled; nothing happens)\n"
                                "  (control 11 is disabled; nothing happens)\n"
                                "dialog 200 ends with ok\n");
}

} // namespace
