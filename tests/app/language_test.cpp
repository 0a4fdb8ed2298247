// The window in the user's language: Japanese on a Japanese system and where none is set,
// English elsewhere.
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>
#include <locale.h>

#include <algorithm>
#include <cstdlib>

#include "app/language.h"
#include "app/picture_preview.h"
#include "app_test_support.h"

namespace ternova::app::testing {
namespace {

constexpr const char* kLocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

class WindowLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    for (const char* name : kLocaleVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    form_.reset();
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) ::setenv(kLocaleVariables[i], saved_[i]->c_str(), 1);
      else ::unsetenv(kLocaleVariables[i]);
    }
    UseLanguage("ja");
  }

  // A window started as the program starts, for a user whose only locale setting is LANG.
  void StartWith(const char* lang) {
    for (const char* name : kLocaleVariables) ::unsetenv(name);
    ::setenv("LANG", lang, 1);
    ASSERT_TRUE(UseLanguage(UserLanguage()));
    State() = ProcessState{};
    auto dialogs = std::make_unique<FakeDialogs>();
    dialogs_ = dialogs.get();
    form_ = std::make_unique<TForm1>(std::move(dialogs));
    form_->show();
  }

  QTemporaryDir dir_;
  FakeDialogs* dialogs_ = nullptr;
  std::unique_ptr<TForm1> form_;
  std::vector<std::optional<std::string>> saved_;
};

struct Expected {
  const char* notANumber;
  const char* openFilter;
  QStringList saveFilters;
  const char* caption;
  const char* noPicture;
  const char* preview;
};

const Expected kJapanese{"'abc' は浮動小数点数ではありません.",
                         "Tab区切りテキスト (.txt)",
                         {"すべてのファイル (*.bmp;*.ico;*.emf;*.wmf)", "ビットマップ (*.bmp)", "アイコン (*.ico)",
                          "エンハンス メタファイル (*.emf)", "メタファイル (*.wmf)"},
                         "画像:",
                         "(なし)",
                         "プレビュー"};
const Expected kEnglish{"'abc' is not a valid floating-point value.",
                        "Tab-separated text (.txt)",
                        {"All pictures (*.bmp;*.ico;*.emf;*.wmf)", "Bitmap (*.bmp)", "Icon (*.ico)",
                         "Enhanced metafile (*.emf)", "Windows metafile (*.wmf)"},
                        "Picture:",
                        "(None)",
                        "Preview"};

TEST_F(WindowLanguage, FollowsTheSystemLanguage) {
  const std::pair<const char*, const Expected*> cases[] = {
      {"C.UTF-8", &kJapanese},
      {"ja_JP.UTF-8", &kJapanese},
      {"en_US.UTF-8", &kEnglish},
      {"de_DE.UTF-8", &kEnglish},
  };
  const std::vector<std::string> shipped = Translations();
  for (const auto& [lang, expected] : cases) {
    SCOPED_TRACE(lang);
    // German gets English only until German is translated.
    if (std::string(lang).starts_with("de") && std::count(shipped.begin(), shipped.end(), "de")) continue;
    StartWith(lang);
    // The error box, after a file with a bad amount.
    const QString path = dir_.filePath(QStringLiteral("bad.txt"));
    {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write("abc\t1\t1\t1\n");
    }
    dialogs_->openAnswers.push_back(path);
    form_->OpenO1->trigger();
    ASSERT_EQ(dialogs_->errors.size(), 1u);
    EXPECT_EQ(dialogs_->errors[0], QString::fromUtf8(expected->notANumber));
    ASSERT_EQ(dialogs_->openAsked.size(), 1u);
    EXPECT_EQ(dialogs_->openAsked[0].Filters[0].Description, QString::fromUtf8(expected->openFilter));
    // The save dialog's filters, asked and cancelled.
    form_->SaveS1->trigger();
    ASSERT_EQ(dialogs_->saveAsked.size(), 1u);
    QStringList shown;
    for (const FilterEntry& e : dialogs_->saveAsked[0].Filters) shown << e.Description;
    EXPECT_EQ(shown, expected->saveFilters);
    // The preview pane of the save dialog.
    PicturePreviewPane pane;
    EXPECT_EQ(pane.CaptionLabel()->text(), QString::fromUtf8(expected->caption));
    EXPECT_EQ(pane.Area()->Caption(), QString::fromUtf8(expected->noPicture));
    EXPECT_EQ(pane.PreviewButton()->toolTip(), QString::fromUtf8(expected->preview));
    // The menus keep their captions in every language.
    EXPECT_EQ(form_->OpenO1->text(), "Open (&O)");
  }
}

// The window's compiled translations and the core's table come from the same sources: they
// must agree on every text, or the window and ternova-plot would word one failure two ways.
TEST_F(WindowLanguage, WindowAndCoreTranslateAlike) {
  for (const std::string& language : Translations()) {
    SCOPED_TRACE(language);
    ASSERT_TRUE(UseLanguage(language));
    QTranslator compiled;
    ASSERT_TRUE(compiled.load(QStringLiteral(":/i18n/ternova_") + QString::fromStdString(language)));
    const std::vector<std::string> texts = TranslatedTexts(language);
    EXPECT_FALSE(texts.empty());
    for (const std::string& text : texts) {
      const Text t{text.c_str()};
      EXPECT_EQ(compiled.translate("Ternova", text.c_str()).toStdString(), Tr(t)) << text;
      EXPECT_EQ(QTr(t).toStdString(), Tr(t)) << text;
      // A Japanese text left as it is was not translated (an English one may stay as it is).
      if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        EXPECT_NE(Tr(t), text);
      }
    }
  }
}

// The window reads the decimal separator where ternova-plot reads it, so a file loads in both
// or in neither: a locale that is named but not installed (Debian installs only those chosen)
// gives ".", though Qt's own locale data know the language's ","; an installed one gives its
// own. Qt reads the locale once, at start, so each case is a program of its own.
TEST(WindowDecimalSeparator, IsTheInstalledLocalesAsForTernovaPlot) {
  if (qEnvironmentVariableIsSet("TERNOVA_SEPARATOR_CHILD")) {
    // "<separator><file>": the separator expected and a file written with it.
    const QString task = qEnvironmentVariable("TERNOVA_SEPARATOR_CHILD");
    App();
    State() = ProcessState{};
    auto dialogs = std::make_unique<FakeDialogs>();
    FakeDialogs* fake = dialogs.get();
    TForm1 form(std::move(dialogs));
    EXPECT_EQ(State().DecimalSeparator, task[0].toLatin1());
    form.FormDropFile(task.mid(1));
    EXPECT_TRUE(fake->errors.empty()) << fake->errors.front().toStdString();
    EXPECT_EQ(State().Engine.Table.SampleCount, 11);
    return;
  }
  App();  // the program's own path is known only once the application exists
  QTemporaryDir dir;
  auto runs = [&](const QString& task, const QString& lang, const QString& locales) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_NUMERIC", "LOCPATH"}) env.remove(name);
    env.insert("LANG", lang);
    if (!locales.isEmpty()) env.insert("LOCPATH", locales);
    env.insert("TERNOVA_SEPARATOR_CHILD", task);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=WindowDecimalSeparator.IsTheInstalledLocalesAsForTernovaPlot"});
    EXPECT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << lang.toStdString() << ": " << child.readAll().toStdString();
  };
  const QString points = QStringLiteral("." TERNOVA_SOURCE_DIR "/examples/minerals.txt");
  const locale_t german = ::newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  if (german) ::freelocale(german);
  else runs(points, "de_DE.UTF-8", {});
  // German installed in a folder of the test's own.
  const QString locales = dir.filePath("locales");
  ASSERT_TRUE(QDir().mkpath(locales));
  if (QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", locales + "/de_DE.UTF-8"}) != 0)
    GTEST_SKIP() << "localedef cannot build de_DE here";
  QFile commas(dir.filePath("commas.txt"));
  ASSERT_TRUE(commas.open(QIODevice::WriteOnly));
  QFile minerals(TERNOVA_SOURCE_DIR "/examples/minerals.txt");
  ASSERT_TRUE(minerals.open(QIODevice::ReadOnly));
  commas.write(minerals.readAll().replace('.', ','));
  commas.close();
  runs("," + commas.fileName(), "de_DE.UTF-8", locales);
  runs(points, "C.UTF-8", locales);
}

TEST_F(WindowLanguage, UnknownLanguageChangesNothing) {
  ASSERT_TRUE(UseLanguage("en"));
  EXPECT_FALSE(UseLanguage("xx"));
  EXPECT_EQ(QTr(kPreview), "Preview");
  EXPECT_EQ(Language(), "en");
  ASSERT_TRUE(UseLanguage("ja"));
  EXPECT_EQ(QTr(kPreview), "プレビュー");
  EXPECT_EQ(Tr(kPreview), "プレビュー");
}

}  // namespace
}  // namespace ternova::app::testing
