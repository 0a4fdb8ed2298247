#pragma once
// The window's modal dialogs behind one small interface, so the commands can be driven without
// a person answering them.
#include <QString>
#include <QVector>
#include <memory>

class QWidget;

namespace ternova::app {

struct FilterEntry {
  QString Description;  // as the user reads it
  QString Pattern;      // ";"-separated, e.g. "*.bmp;*.ico"
};

// What a file dialog is asked with and what it remembers between uses.
struct FileDialogSettings {
  QVector<FilterEntry> Filters;
  int FilterIndex = 1;   // counted from 1, as the dialog lists them
  QString DefaultExt;    // appended (with a point) to a name typed without extension
  QString InitialDir;
  QString FileName;      // pre-filled; after a choice, the chosen full path
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // True when the user chose a name; it is then in settings.FileName.
  virtual bool ExecuteOpen(QWidget* parent, FileDialogSettings& settings) = 0;
  virtual bool ExecuteSave(QWidget* parent, FileDialogSettings& settings) = 0;
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  virtual void ShowHelp(QWidget* parent, const QString& text) = 0;
};

// The program keeps no settings between runs: Qt's own dialogs must not either. Call once,
// after the application object exists and before any dialog.
void KeepNoDialogSettings();

// The real dialogs.
std::unique_ptr<Dialogs> MakeQtDialogs();

// Moves a dialog to the horizontal centre of the active window's monitor, at one third of its
// height.
void PlaceOnActiveMonitor(QWidget* dialog);

// The filter string Qt's file dialog expects for one entry: the description as shown, then the
// patterns in the form Qt parses.
QString QtFilterFor(const FilterEntry& entry);

}  // namespace ternova::app
