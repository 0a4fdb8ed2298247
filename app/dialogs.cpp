#include "app/dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QPrintDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTreeView>

#include "app/picture_preview.h"

namespace ternova::app {

namespace {

// A message box whose Ctrl+C copies caption, text and buttons as the desktop's own boxes do
// (Qt does this only on Windows). A click on the text gives it the keys, and its own Ctrl+C
// copies only a selection: with nothing selected there the whole box is copied all the same.
class CopyableMessageBox : public QMessageBox {
 public:
  CopyableMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons, QWidget* parent)
      : QMessageBox(icon, title, text, buttons, parent) {
    // Messages carry file names and cell contents: text, never markup.
    setTextFormat(Qt::PlainText);
    if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) label->installEventFilter(this);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Copy)) {
      CopyAll();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
      auto* label = qobject_cast<QLabel*>(watched);
      if (label && label->hasSelectedText()) QGuiApplication::clipboard()->setText(label->selectedText());
      else CopyAll();
      return true;
    }
    return QMessageBox::eventFilter(watched, event);
  }

 private:
  void CopyAll() {
    const QString line = QStringLiteral("---------------------------\n");
    QString buttons;
    for (QAbstractButton* b : this->buttons()) buttons += QString(b->text()).remove(QLatin1Char('&')) + QStringLiteral("   ");
    QGuiApplication::clipboard()->setText(line + windowTitle() + QLatin1Char('\n') + line + text() +
                                          QLatin1Char('\n') + line + buttons + QLatin1Char('\n') + line);
  }
};

// Icons and type names from the name alone. Guessing a type from the content opens the file,
// and a pipe or a kernel file such as /proc/kmsg may never answer, freezing the dialog.
class NameOnlyIconProvider : public QFileIconProvider {
 public:
  NameOnlyIconProvider() { setOptions(DontUseCustomDirectoryIcons); }
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override {
    return icon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
  }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QFileIconProvider::type(info);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
  }
};

// Qt wraps a long message at half the screen, anywhere in Japanese text, which can leave the
// last character and the full stop alone on a line. A message that fits two thirds of the
// screen stays on one line; a longer one breaks after the quoted file name, so the reason and
// what failed read together.
void KeepLinesWhole(QMessageBox& box, const QString& text) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  QScreen* screen = box.screen();
  if (!label || !screen) return;
  const QFontMetrics metrics(label->font());
  const int widest = screen->availableGeometry().width() * 2 / 3;
  QString shown = text;
  const int cut = shown.indexOf(QStringLiteral("\". "));
  if (metrics.horizontalAdvance(shown) > widest && cut > 0) shown[cut + 2] = QLatin1Char('\n');
  int longest = 0;
  for (const QString& line : shown.split(QLatin1Char('\n'))) longest = std::max(longest, metrics.horizontalAdvance(line));
  box.setText(shown);
  label->setMinimumWidth(std::min(longest + 2, widest));
}

// The format follows from the name alone, and the name is what the user typed: Qt's save dialog
// would rewrite its extension to that of each filter entry picked.
void KeepTypedNameOnFilterChange(QFileDialog& dialog) {
  auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (!types || !name) return;
  QObject::disconnect(types, SIGNAL(activated(int)), &dialog, SLOT(_q_useNameFilter(int)));
  QObject::connect(types, &QComboBox::activated, &dialog, [&dialog, name](int index) {
    const QString typed = name->text();
    QMetaObject::invokeMethod(&dialog, "_q_useNameFilter", Q_ARG(int, index));
    if (name->text() != typed) name->setText(typed);
  });
}

// The file dialogs' listing, columns sized to what they show.
void PrepareFileDialog(QFileDialog& dialog, const FileDialogSettings& settings,
                       QAbstractFileIconProvider* icons) {
  // Qt's own dialog: it can carry the preview pane, and its placement is ours to decide.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
  dialog.setIconProvider(icons);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setSizeGripEnabled(true);
  QStringList filters;
  for (const FilterEntry& entry : settings.Filters) filters << QtFilterFor(entry);
  dialog.setNameFilters(filters);
  if (settings.FilterIndex >= 1 && settings.FilterIndex <= filters.size())
    dialog.selectNameFilter(filters[settings.FilterIndex - 1]);
  dialog.setDefaultSuffix(settings.DefaultExt);
  // The details list: sizes, types and dates in full, the name taking what is left.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
  dialog.setDirectory(settings.InitialDir);
  if (!settings.FileName.isEmpty()) dialog.selectFile(settings.FileName);
}

bool RunFileDialog(QFileDialog& dialog, FileDialogSettings& settings) {
  dialog.adjustSize();
  PlaceOnActiveMonitor(&dialog);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  // The dialog is kept a while after it closes: the suggestions a typed name brought up go now.
  for (QCompleter* completer : dialog.findChildren<QCompleter*>())
    if (completer->popup()) completer->popup()->hide();
  if (!accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  settings.FileName = chosen.first();
  const int index = dialog.nameFilters().indexOf(dialog.selectedNameFilter());
  if (index >= 0) settings.FilterIndex = index + 1;
  return true;
}

class QtDialogs : public Dialogs {
 public:
  ~QtDialogs() override { delete last_; }

  bool ExecuteOpen(QWidget* parent, FileDialogSettings& settings) override {
    QFileDialog& dialog = Fresh(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is taken even when no such file exists; the load then says so.
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareFileDialog(dialog, settings, &icons_);
    return RunFileDialog(dialog, settings);
  }

  bool ExecuteSave(QWidget* parent, FileDialogSettings& settings) override {
    QFileDialog& dialog = Fresh(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareFileDialog(dialog, settings, &icons_);
    KeepTypedNameOnFilterChange(dialog);
    auto* pane = new PicturePreviewPane(&dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
      grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, pane, [pane](const QString& path) { pane->ShowFile(path); });
    // The name kept from the last save is previewed as if it had been clicked.
    if (!settings.FileName.isEmpty()) pane->ShowFile(settings.FileName);
    return RunFileDialog(dialog, settings);
  }

  void ShowError(QWidget* parent, const QString& text) override {
    CopyableMessageBox box(QMessageBox::Critical, QStringLiteral("Ternova"), text, QMessageBox::Ok, parent);
    KeepLinesWhole(box, text);
    box.exec();
  }

  void ShowHelp(QWidget* parent, const QString& text) override {
    // Qt wraps a message box's text at half the screen width (at most 500 pixels) already.
    CopyableMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ternova"), text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.show();
    if (QScreen* screen = box.screen()) {
      const QRect frame = box.frameGeometry();
      box.move(screen->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    box.exec();
  }

  bool ExecutePrint(QWidget* parent, QPrinter& printer) override {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
  }

 private:
  // A new file dialog. The last one, closed long since, goes only now: taking a file dialog
  // down took up to 25 ms, which came between the user's Return and the file opening.
  QFileDialog& Fresh(QWidget* parent) {
    delete last_;  // gone already when its parent went
    last_ = new QFileDialog(parent);
    return *last_;
  }

  NameOnlyIconProvider icons_;  // outlives every dialog that uses it
  QPointer<QFileDialog> last_;
};

}  // namespace

void KeepNoDialogSettings() {
  // Qt's file dialog stores its history and last folder as the user's settings, in the native
  // format. Their folder becomes one that can never be made, so nothing is read or written.
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
      QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
}

std::unique_ptr<Dialogs> MakeQtDialogs() { return std::make_unique<QtDialogs>(); }

void PlaceOnActiveMonitor(QWidget* dialog) {
  QWidget* active = QApplication::activeWindow();
  QScreen* screen = active ? active->screen() : dialog->screen();
  if (!screen) return;
  const QRect monitor = screen->availableGeometry();
  const QSize size = dialog->frameGeometry().size();
  dialog->move(monitor.x() + (monitor.width() - size.width()) / 2, monitor.y() + (monitor.height() - size.height()) / 3);
}

QString QtFilterFor(const FilterEntry& entry) {
  // Qt reads the patterns from the last parenthesised, blank-separated list; with the filter
  // details hidden it shows the description alone.
  return entry.Description + QStringLiteral(" (") + QString(entry.Pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) +
         QLatin1Char(')');
}

}  // namespace ternova::app
