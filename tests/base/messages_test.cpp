#include "base/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/error.h"

namespace ternova {
namespace {

// Each test picks its language; the next one starts from the texts as written.
class Messages : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguage("ja"); }
  void TearDown() override { SetLanguage("ja"); }
};

// Every text of the program's own: as written, and in English.
struct TextRow {
  Text text;
  const char* japanese;
  const char* english;
};

const TextRow kTexts[] = {
    {kInvalidOperation, "不正な浮動小数点数演算命令", "Invalid floating-point operation"},
    {kDivideByZero, "0 による浮動小数点数除算", "Floating-point division by zero"},
    {kOverflow, "浮動小数点数のオーバーフロー", "Floating-point overflow"},
    {kNoResources, "システム リソースが足りません", "Not enough system resources"},
    {kOutOfMemory, "メモリが足りません", "Out of memory"},
    {kUnknownError, "不明なエラーが発生しました", "An unknown error occurred"},
    {kCannotOpenFile, "ファイル \"%1\". %2 は開けません", "Cannot open file \"%1\". %2"},
    {kCannotCreateFile, "ファイル \"%1\". %2 を作成できません", "Cannot create file \"%1\". %2"},
    {kStreamWriteError, "ストリームへの書き込みエラー", "Error writing to the file"},
    {kStandardInputClosed, "標準入力が閉じられています", "Standard input is closed"},
    {kNotANumber, "'%1' は浮動小数点数ではありません", "'%1' is not a valid floating-point value"},
    {kOddUtf16Length, "UTF-16 のテキストのバイト数が奇数です", "The UTF-16 text has an odd number of bytes"},
    {kUnpairedSurrogate, "UTF-16 のテキストの %1 行目に対のないサロゲート %2 があります",
     "Line %1 of the UTF-16 text has an unpaired surrogate %2"},
    {kPastedLine, "貼り付けたテキストの %1 行目: %2", "Line %1 of the pasted text: %2"},
    {kTabSeparatedText, "Tab区切りテキスト (.txt)", "Tab-separated text (.txt)"},
    {kAllPictures, "すべてのファイル", "All pictures"},
    {kBitmap, "ビットマップ", "Bitmap"},
    {kIcon, "アイコン", "Icon"},
    {kEnhancedMetafile, "エンハンス メタファイル", "Enhanced metafile"},
    {kMetafile, "メタファイル", "Windows metafile"},
    {kPictureCaption, "画像:", "Picture:"},
    {kNoPicture, "(なし)", "(None)"},
    {kInvalidPicture, "画像が不正です", "Invalid picture"},
    {kPictureTooLarge, "画像が大きすぎてプレビューできません", "The picture is too large to preview"},
    {kPreview, "プレビュー", "Preview"},
    {kSampleTip, "Row %1", "Row %1"},
};

TEST_F(Messages, EveryTextInJapaneseAndEnglish) {
  for (const TextRow& row : kTexts) {
    ASSERT_TRUE(SetLanguage("ja"));
    EXPECT_EQ(Tr(row.text), row.japanese);
    ASSERT_TRUE(SetLanguage("en"));
    EXPECT_EQ(Tr(row.text), row.english);
  }
}

TEST_F(Messages, ErrorsCarryTheTextInTheLanguageInUse) {
  SetLanguage("en");
  EXPECT_STREQ(Error(kOverflow).what(), "Floating-point overflow");
  SetLanguage("ja");
  EXPECT_STREQ(Error(kOverflow).what(), "浮動小数点数のオーバーフロー");
}

TEST_F(Messages, OnlyJapaneseAndShippedTranslationsCanBeChosen) {
  EXPECT_EQ(Language(), "ja");
  EXPECT_FALSE(SetLanguage("xx"));
  EXPECT_FALSE(SetLanguage(""));
  EXPECT_EQ(Language(), "ja");
  EXPECT_TRUE(SetLanguage("en"));
  EXPECT_EQ(Language(), "en");
  EXPECT_FALSE(SetLanguage("xx"));
  EXPECT_EQ(Language(), "en");
}

TEST_F(Messages, NoTranslationIsUnfinished) {
  const std::vector<std::string> languages = Translations();
  EXPECT_NE(std::find(languages.begin(), languages.end(), "en"), languages.end());
  for (const std::string& language : languages) EXPECT_EQ(UnfinishedTranslations(language), 0) << language;
}

TEST_F(Messages, FormatFillsPlaceholdersInOnePass) {
  struct Case {
    Text pattern;
    std::vector<std::string_view> args;
    const char* japanese;
    const char* english;
  };
  const Case cases[] = {
      {kNotANumber, {"abc"}, "'abc' は浮動小数点数ではありません", "'abc' is not a valid floating-point value"},
      {kNotANumber, {""}, "'' は浮動小数点数ではありません", "'' is not a valid floating-point value"},
      // An argument is never read as a placeholder itself.
      {kNotANumber, {"%1%2"}, "'%1%2' は浮動小数点数ではありません", "'%1%2' is not a valid floating-point value"},
      {kCannotOpenFile, {"/d/%2.txt", "No such file or directory"},
       "ファイル \"/d/%2.txt\". No such file or directory は開けません",
       "Cannot open file \"/d/%2.txt\". No such file or directory"},
      // Missing arguments leave their placeholders.
      {kCannotCreateFile, {"/x"}, "ファイル \"/x\". %2 を作成できません", "Cannot create file \"/x\". %2"},
  };
  for (const Case& c : cases) {
    SetLanguage("ja");
    EXPECT_EQ(Format(c.pattern, c.args), c.japanese);
    SetLanguage("en");
    EXPECT_EQ(Format(c.pattern, c.args), c.english);
  }
}

std::string LanguageOf(std::map<std::string, std::string> environment) {
  return UserLanguage([&](const char* name) { return environment[name]; });
}

TEST(UserLanguage, FollowsTheUserInterfaceLanguage) {
  struct Case {
    std::map<std::string, std::string> environment;
    const char* language;
  };
  const Case cases[] = {
      {{}, "ja"},  // nothing set
      {{{"LANG", "C"}}, "ja"},
      {{{"LANG", "C.UTF-8"}}, "ja"},
      {{{"LANG", "POSIX"}}, "ja"},
      {{{"LANG", "ja_JP.UTF-8"}}, "ja"},
      {{{"LANG", "ja_JP.eucJP"}}, "ja"},
      {{{"LANG", "ja"}}, "ja"},
      {{{"LANG", "en_US.UTF-8"}}, "en"},
      {{{"LANG", "en_GB"}}, "en"},
      {{{"LANG", "de_DE.UTF-8"}}, "en"},
      {{{"LANG", "de_DE.UTF-8@euro"}}, "en"},
      {{{"LANG", "fr"}}, "en"},
      {{{"LANG", "jv_ID"}}, "en"},  // Javanese is not Japanese
      // LC_ALL before LC_MESSAGES before LANG; other categories play no part.
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, "ja"},
      {{{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, "en"},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}, {"LC_ALL", "C"}}, "ja"},
      {{{"LANG", "C.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}}, "en"},
      {{{"LANG", "ja_JP.UTF-8"}, {"LC_NUMERIC", "de_DE.UTF-8"}, {"LC_CTYPE", "de_DE.UTF-8"}}, "ja"},
      // LANGUAGE, a list of preferences, comes first: the first one we can show wins.
      {{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "de"}}, "en"},
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "ja"}}, "ja"},
      {{{"LANG", "C"}, {"LANGUAGE", "de_DE:ja"}}, "ja"},
      {{{"LANG", "C"}, {"LANGUAGE", "en:ja"}}, "en"},
      {{{"LANG", "C"}, {"LANGUAGE", "::en_US"}}, "en"},
      {{{"LANG", "en_US"}, {"LANGUAGE", ":"}}, "en"},  // no preference in it: LANG decides
      {{{"LANG", "ja_JP"}, {"LANGUAGE", ""}}, "ja"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& [name, value] : c.environment) shown += name + "=" + value + " ";
    EXPECT_EQ(LanguageOf(c.environment), c.language) << shown;
  }
}

}  // namespace
}  // namespace ternova
