// The string table, texts exactly as the program shows them (UTF-8; the blanks after "専用"
// in 107 and at the start of both sentences of 122 are ideographic spaces, U+3000), and the
// two texts the program holds outside the table.

#include "orvoset/resource_ids.h"
#include "orvoset/resources.h"

namespace {

// Ids 112 and 115 to 117 have no text: nothing in the program uses them.
constexpr orvo::mfc::StringResource kStrings[] = {
    {IDS_ABOUTBOX, "ﾊﾞｰｼﾞｮﾝ情報(ORVOSET) (&A)..."},
    {IDS_VERSION, "Ver.0.252NT (990630)"},
    {IDS_ABOUT_CARD, "Orvo-88 PCMCIA Sound/SCSI Card "},
    {IDS_ABOUT_UTILITY, "リソース変更ユーティリティー"},
    {IDS_ABOUT_NOTICE, "右ボタンを押すと、開発者からのメッセージを表示します。"},
    {IDS_ABOUT_CREDITS, "ご利用ありがとうございます。 Orvo-88 開発チーム"},
    {IDS_NOT_NT4, "WindowsNT4.0専用　Orvo-88リソース変更ユーティリティー\r\r\n"
                  "このユーティリティーは、WindowsNT4.0 専用です。\r\r\n 処理を終了します。"},
    {IDS_INI_MISSING, "情報ファイル %1 が見つかりません。\n\n\t処理を終了します！"},
    {IDS_INI_FILE_NAME, "ADAPTER.INI"},
    {IDS_IRQ_CURRENT, "現在の設定 ： %d (0x%02x)"},
    {IDS_IO_CURRENT, "現在の設定 ： 0x%04x - 0x%04x"},
    {IDS_CURRENT_AUTOMATIC, "現在の設定 ： 自動設定 ?"},
    {IDS_TITLE_SUFFIX, " リソース設定"},
    {IDS_RESTART_QUESTION, "\t\t設定を変更しました。\r\n"
                           "変更内容を有効にするためには、システムを再起動する必要があります。\r\n\n"
                           "\t\tここで再起動しますか？"},
    {IDS_RESTARTING, "システムを再起動します。"},
    {IDS_RESTART_LATER, "変更内容を有効にするために、システムを再起動してください。"},
    {IDS_NO_SERVICE_KEY, "PC Card(Orvo-88) に関するレジストリエントリが存在しません！\n"
                         "Orvo-88 PC Card ドライバがインストールされていないと思われます。\r\r\n"
                         " 先に ドライバをインストールしてください！\n"},
    {IDS_SOUND_DRIVER_NOTE,
     "　システムを再起動後、サウンドドライバのインストールを行い、I/Oポートアドレス及び "
     "IRQ（Interrupt)番号を、本ユーティリティーで設定した値と同じ値に設定してください。\r"
     "　既にサウンドドライバをインストールしている場合でも、再度ドライバのインストールを行う必要があります。"},
};

} // namespace

std::span<const orvo::mfc::StringResource> OrvosetStringTable() {
    return kStrings;
}

const char* const kNoIrqChoicesText =
    " 情報ファイル(adapter.ini)が正しくありません！\n(IRQ情報なし)\n\n\t処理を終了します。";
const char* const kNoIoChoicesText =
    " 情報ファイル(adapter.ini)が正しくありません！\n(I/O情報なし)\n\n\t処理を終了します。";
