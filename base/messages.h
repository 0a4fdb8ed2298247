#pragma once
// Every text the program shows of its own, and the language it shows them in.
//
// The texts are written here in Japanese, the program's own language: a Japanese system, and one
// whose language is unset, "C" or "POSIX", shows them exactly as written. Any other language gets
// the translation from translations/ternova_<language>.ts, English where there is none for it.
//
// To add a text: add a constant below with TERNOVA_TEXT (lupdate collects these), refresh the
// translation files with `cmake --build build --target update_translations`, and fill in the new
// <translation> of every translations/*.ts. A test fails while any translation is missing.
// The core turns a constant into a string with Tr() or Format(); the window with QTr()
// (app/language.h). Placeholders are %1..%9, so a translation may reorder them.
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Marks a text for translation; lupdate reads it as QT_TRANSLATE_NOOP.
#define TERNOVA_TEXT(context, text) ::ternova::Text { text }

namespace ternova {

// A text of the program's own, as written (Japanese). Not a string: it must be translated first.
struct Text {
  const char* source;
};

// Floating-point faults are reported, never masked.
inline constexpr Text kInvalidOperation = TERNOVA_TEXT("Ternova", "不正な浮動小数点数演算命令");
inline constexpr Text kDivideByZero = TERNOVA_TEXT("Ternova", "0 による浮動小数点数除算");
inline constexpr Text kOverflow = TERNOVA_TEXT("Ternova", "浮動小数点数のオーバーフロー");

// When the system cannot provide what an operation needs (a picture, a file too large for its
// format).
inline constexpr Text kNoResources = TERNOVA_TEXT("Ternova", "システム リソースが足りません");
inline constexpr Text kOutOfMemory = TERNOVA_TEXT("Ternova", "メモリが足りません");
inline constexpr Text kUnknownError = TERNOVA_TEXT("Ternova", "不明なエラーが発生しました");

// Files.
//: %1 is the file's full path, %2 the system's text for the error.
inline constexpr Text kCannotOpenFile = TERNOVA_TEXT("Ternova", "ファイル \"%1\". %2 は開けません");
//: %1 is the file's full path, %2 the system's text for the error.
inline constexpr Text kCannotCreateFile = TERNOVA_TEXT("Ternova", "ファイル \"%1\". %2 を作成できません");
inline constexpr Text kStreamWriteError = TERNOVA_TEXT("Ternova", "ストリームへの書き込みエラー");
//: The data were to come from standard input, and the program was started with it closed.
inline constexpr Text kStandardInputClosed = TERNOVA_TEXT("Ternova", "標準入力が閉じられています");

// Data file.
//: %1 is the field of the data file exactly as read.
inline constexpr Text kNotANumber = TERNOVA_TEXT("Ternova", "'%1' は浮動小数点数ではありません");
//: A file marked as UTF-16 whose last character is cut in half.
inline constexpr Text kOddUtf16Length = TERNOVA_TEXT("Ternova", "UTF-16 のテキストのバイト数が奇数です");
//: %1 is the line number, %2 the surrogate's code, e.g. U+D83D.
inline constexpr Text kUnpairedSurrogate =
    TERNOVA_TEXT("Ternova", "UTF-16 のテキストの %1 行目に対のないサロゲート %2 があります");

//: A load of pasted (or dropped) text failed. %1 is the line of that text, %2 the message as for a file.
inline constexpr Text kPastedLine = TERNOVA_TEXT("Ternova", "貼り付けたテキストの %1 行目: %2");

// File dialogs: the descriptions of the filters (the patterns are added to them).
inline constexpr Text kTabSeparatedText = TERNOVA_TEXT("Ternova", "Tab区切りテキスト (.txt)");
//: The entry that lists every picture type at once.
inline constexpr Text kAllPictures = TERNOVA_TEXT("Ternova", "すべてのファイル");
inline constexpr Text kBitmap = TERNOVA_TEXT("Ternova", "ビットマップ");
inline constexpr Text kIcon = TERNOVA_TEXT("Ternova", "アイコン");
inline constexpr Text kEnhancedMetafile = TERNOVA_TEXT("Ternova", "エンハンス メタファイル");
inline constexpr Text kMetafile = TERNOVA_TEXT("Ternova", "メタファイル");

// The save dialog's picture preview.
//: Caption of the preview pane while no valid picture is selected.
inline constexpr Text kPictureCaption = TERNOVA_TEXT("Ternova", "画像:");
inline constexpr Text kNoPicture = TERNOVA_TEXT("Ternova", "(なし)");
inline constexpr Text kInvalidPicture = TERNOVA_TEXT("Ternova", "画像が不正です");
//: In place of a sound picture that would take the preview too long (or too much memory) to show.
inline constexpr Text kPictureTooLarge = TERNOVA_TEXT("Ternova", "画像が大きすぎてプレビューできません");
//: The preview button's tip and the preview window's title.
inline constexpr Text kPreview = TERNOVA_TEXT("Ternova", "プレビュー");

// The tip over a symbol in the diagram: its row, then its note and amounts. Written in English
// on every system so far.
//: %1 is the row number of the sample under the mouse.
inline constexpr Text kSampleTip = TERNOVA_TEXT("Ternova", "Row %1");

// The legend of samples coloured by a column: the group of empty cells, and the one entry of
// every group past the palette's colours.
//: Legend entry for the samples whose cell in the chosen column is empty.
inline constexpr Text kNoGroup = TERNOVA_TEXT("Ternova", "(空欄)");
//: Legend entry that gathers, in grey, the groups left when the colours ran out.
inline constexpr Text kOtherGroups = TERNOVA_TEXT("Ternova", "その他");
//: A line of the tip over a symbol: %1 is the legend entry of the sample's group.
inline constexpr Text kGroupTip = TERNOVA_TEXT("Ternova", "Group: %1");

// The diagram's context menu ("Save..." is a menu caption, the same in every language).
inline constexpr Text kCopy = TERNOVA_TEXT("Ternova", "コピー");
inline constexpr Text kPrint = TERNOVA_TEXT("Ternova", "印刷...");
//: The printer (or the file printed to) could not be opened.
inline constexpr Text kCannotPrint = TERNOVA_TEXT("Ternova", "印刷を開始できません");

// The density view's colour bar, in the picture: its caption, and the points it leaves out.
inline constexpr Text kSamplesPerCell = TERNOVA_TEXT("Ternova", "セルあたりの試料数");
//: %1 is how many points of samples lie outside their face (negative amounts), all four faces together.
inline constexpr Text kPointsOutsideFaces = TERNOVA_TEXT("Ternova", "面の外の点: %1");

// The text in the language in use: its translation, or the text as written.
std::string Tr(Text text);

// Tr(pattern) with %1..%9 replaced by args in one pass: an argument that contains "%2" stays as
// it is. A placeholder without an argument is left as written.
std::string Format(Text pattern, std::span<const std::string_view> args);
inline std::string Format(Text pattern, std::initializer_list<std::string_view> args) {
  return Format(pattern, std::span<const std::string_view>(args.begin(), args.size()));
}

// The language the texts are shown in: "ja" (as written) or one with a translation, e.g. "en".
// Until SetLanguage is called, the user's language (UserLanguage()).
std::string Language();

// Shows the texts in `language` from now on: "ja" or a language listed by Translations().
// Returns false, and changes nothing, for any other.
bool SetLanguage(std::string_view language);

// The languages with a translation, e.g. {"en"}.
std::vector<std::string> Translations();

// The texts (as written) that `language` translates.
std::vector<std::string> TranslatedTexts(std::string_view language);

// The language for a user whose environment variable `name` has the value environment(name)
// (empty when unset), read as Qt reads the user-interface languages: LANGUAGE, a ":"-separated
// list of preferences, and when it is empty the first of LC_ALL, LC_MESSAGES and LANG that is
// set. The first preference that is Japanese, "C" or "POSIX" (or none at all) gives "ja"; the
// first with a translation gives it; otherwise English.
std::string UserLanguage(const std::function<std::string(const char*)>& environment);

// UserLanguage of this process's environment.
std::string UserLanguage();

// The number of entries of each translation that have no finished text (for the check that a
// release ships none).
int UnfinishedTranslations(std::string_view language);

}  // namespace ternova
