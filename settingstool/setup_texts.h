#pragma once
// The settings tool's fixed texts and names.

namespace tavrin {

// The main dialog's title, every message box's caption, and what a second copy looks for.
inline constexpr wchar_t kSetupTitle[] = L"タブリン for 設定ツール";
inline constexpr wchar_t kInstanceMutexName[] = L"Halvek : Tavrin";
inline constexpr wchar_t kDialogClassName[] = L"#32770";
inline constexpr wchar_t kBandDllName[] = L"Tavrin.dll";

inline constexpr wchar_t kGroupText[] = L"Internet Exolorerへの登録設定";
inline constexpr wchar_t kRegisterText[] =
    L"[設定]ボタンをクリックすると、Internet Explorerに「タブリン」を登録します。";
inline constexpr wchar_t kUnregisterText[] =
    L"[解除]ボタンをクリックすると、Internet Explorerから「タブリン」の設定を解除します。";

inline constexpr wchar_t kRegisteredMessage[] = L"登録が完了しました。";
inline constexpr wchar_t kUnregisteredMessage[] = L"解除が完了しました。";
inline constexpr wchar_t kCloseBrowsersQuestion[] =
    L"登録を解除するには、起動中のInternet Explorerを終了する必要があります。\n"
    L"今すぐ終了しますか?\n\n"
    L"[はい]を選択した場合は、起動しているInternet Explorerをすべて終了して、"
    L"設定を解除するための処理を行います。\n"
    L"[いいえ]を選択した場合は、処理を中止します。";

}  // namespace tavrin
