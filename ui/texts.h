#pragma once

namespace quadrell::ui {

inline constexpr wchar_t kMainCaption[] = L"Jpegファイルのアスペクト比を１：１に";
inline constexpr wchar_t kNotChangeDateCaption[] = L"ファイル日付を変えない";
inline constexpr wchar_t kAboutCaption[] = L"Help";
// An empty first line, the prompt, and a line break.
inline constexpr wchar_t kInitialLog[] =
    L"\r\n処理するファイルかフォルダーをここにドロップして下さい\r\n";
inline constexpr wchar_t kProgramTitle[] = L"Quadrell";
// The system menu's item that takes the last run back.
inline constexpr wchar_t kTakeBackCaption[] = L"直前の処理を元に戻す(&U)";
inline constexpr wchar_t kAlreadyRunning[] = L"すでに起動しています";

}  // namespace quadrell::ui
