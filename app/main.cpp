#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/dialogs.h"
#include "app/language.h"
#include "app/main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ternova"));
  QApplication::setApplicationDisplayName(QStringLiteral("Ternova"));
  ternova::app::UseLanguage(ternova::UserLanguage());
  // The standard dialogs speak the user's language.
  QTranslator qtTranslator;
  if (qtTranslator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTranslator);

  ternova::app::KeepNoDialogSettings();
  ternova::app::TForm1 form;
  form.show();
  return app.exec();
}
