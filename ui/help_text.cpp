#include "ui/help_text.h"

#include "res/version.h"

namespace quadrell::ui {

// 23 lines, CR LF between them and none after the last. The ideographic
// spaces (U+3000) and the half-width "\uFF61" and "\uFF64" are written as
// escapes so that they cannot be mistaken for their look-alikes.
const wchar_t kHelpText[] =
    L"\r\n"  // 1
    L"処理するファイルかフォルダーをここにドロップして下さい\r\n"  // 2
    L"==========================================\r\n"  // 3
    L"◎Jpegファイルのみ処理します\uFF61\r\n"  // 4
    L"・拡張子が「jpg」または「jpeg」\r\n"  // 5
    L"・１、２バイト目が0xFF,0xD8\r\n"  // 6
    L"・マックバイナリがあっても処理します。\r\n"  // 7
    L"\u3000その場合\uFF64マックバイナリは削除しません\uFF61\r\n"  // 8
    L"-------------------------------------------\r\n"  // 9
    L"◎フォルダをドロップした場合は\r\n"  // 10
    L"\u3000直下のJpegファイルをすべて処理します\uFF61\r\n"  // 11
    L"・サブフォルダは処理しません。\r\n"  // 12
    L"-------------------------------------------\r\n"  // 13
    L"◎アスペクト比の縦横が違うファイルのみ処理します\uFF61\r\n"  // 14
    L"・どちらか大きい方の値に合わせます。\r\n"  // 15
    L"・上書き保存します。\r\n"  // 16
    L"・処理した「バイト位置+Change」と表示します。\r\n"  // 17
    L"・違っていないファイルはなにもせず「OK」と表示します。\r\n"  // 18
    L"・Jpegファイルでない場合なにも表示しません。\r\n"  // 19
    L"===========================================\r\n"  // 20
    L"◎直前の処理を元に戻すには Alt+Space のあと U キー(システムメニューの項目)\uFF61\r\n"  // 21
    L"Quadrell " QUADRELL_VERSION_TEXT L"\u3000" QUADRELL_COPYRIGHT L"\u3000MITライセンス\u3000詳しくは README-ja.txt\r\n"  // 22
    L"===========================================";  // 23

}  // namespace quadrell::ui
