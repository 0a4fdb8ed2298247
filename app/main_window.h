#pragma once
// Form1: the program's one window. Its handlers change the process-wide state (app/state.h)
// and redraw; the window itself keeps only its controls, dialogs and menu marks.
#include <QHash>
#include <QPointF>
#include <QProgressBar>
#include <QMainWindow>
#include <QRect>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/image_control.h"
#include "diagram/symbol_index.h"
#include "plot/view.h"

class QAction;
class QMimeData;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace ternova {
struct LoadResult;
struct LoadProgress;
struct DensityCells;
}  // namespace ternova

namespace ternova::app {

class FileWatch;
class ImageControl;
class SampleGrid;

inline constexpr const char* kHelpText = "Help me! --> ternova-help@users.noreply.github.com";

class TForm1 : public QMainWindow {
 public:
  explicit TForm1(std::unique_ptr<Dialogs> dialogs = MakeQtDialogs(), QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls and dialogs, named as the handlers refer to them.
  QPushButton* btnPlot = nullptr;
  SampleGrid* strgridData = nullptr;
  QLabel* lblFN = nullptr;
  ImageControl* imgTernova = nullptr;
  FileDialogSettings OpenDialog;
  FileDialogSettings SavePictureDialog;
  QMenuBar* MainMenu = nullptr;
  QMenu* FileF1 = nullptr;
  QAction* OpenO1 = nullptr;
  QAction* SaveS1 = nullptr;
  QAction* N1 = nullptr;
  QAction* EndE1 = nullptr;
  QMenu* OptionO1 = nullptr;
  QMenu* SymbolSizeS1 = nullptr;
  QAction* LargeL1 = nullptr;
  QAction* MediumM1 = nullptr;
  QAction* SmallS1 = nullptr;
  QMenu* GridG1 = nullptr;
  QAction* N1011 = nullptr;
  QAction* N5051 = nullptr;
  // Option > Colour by: None, Note, then one item per further field of the last file (made
  // when the menu opens: counting a million rows' fields is no work for every load).
  QMenu* ColourByC1 = nullptr;
  QAction* ColourByNone1 = nullptr;
  QAction* ColourByNote1 = nullptr;
  // The density view and its cell size (cells per face edge).
  QAction* DensityD1 = nullptr;
  QMenu* DensityCellsC1 = nullptr;
  QAction* N2521 = nullptr;
  QAction* N5052 = nullptr;
  QAction* N10011 = nullptr;
  QMenu* HelpH1 = nullptr;
  QAction* TernovaHelpT1 = nullptr;
  // The diagram's context menu.
  QMenu* PopupMenu1 = nullptr;
  QAction* CopyC1 = nullptr;
  QAction* SaveS2 = nullptr;
  QAction* PrintP1 = nullptr;
  // Ctrl+V anywhere in the window (in no menu: the menus stay as they are).
  QAction* PasteV1 = nullptr;

  void FormCreate();
  void OpenO1Click();
  void SaveS1Click();
  void EndE1Click();
  void btnPlotClick();
  void strgridDataSelectCell(int row);
  void LargeL1Click();
  void MediumM1Click();
  void SmallS1Click();
  void N1011Click();
  void N5051Click();
  // Option > Colour by > None (0), Note (5) or Field N.
  void ColourByClick(int field);
  void ColourByNone1Click();
  void ColourByNote1Click();
  // The Colour by items for the fields the table has now.
  void UpdateColourByMenu();
  void DensityD1Click();
  void N2521Click();
  void N5052Click();
  void N10011Click();
  void TernovaHelpT1Click();
  void CopyC1Click();
  void PrintP1Click();
  // Ctrl+V: the clipboard's text loaded as File > Open loads a file (a copied file is opened).
  void PasteV1Click();
  // The diagram, in the picture's logical units: the tip for a point, and a left press.
  ImageHint imgTernovaHint(QPointF at);
  void imgTernovaMouseDown(QPointF at);
  // A data file dropped on the window: opened as File > Open with that file would.
  void FormDropFile(const QString& path);
  // Text dropped on the window: loaded as pasted text.
  void FormDropText(const QString& text);
  // The data file named on the command line: opened as File > Open with that file would, once
  // the event loop runs (the window is up to show any error).
  void OpenAtStart(const QString& path);
  // How long a load runs before its progress shows (tests show it at once).
  void SetLoadProgressDelay(int milliseconds) { loadProgressDelay_ = milliseconds; }
  QProgressBar* LoadProgressBar() const { return prgLoad_; }
  // The open data file changed on disk and has settled: loaded again as File > Open loads it.
  void FileChangedOnDisk(const QString& path);
  FileWatch* DataFileWatch() const { return watch_; }

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Placement {
    QWidget* control;
    QRect rect;  // as laid out at start, scaled
    bool right, bottom;
    int rightMargin = 0, bottomMargin = 0;
  };

  void BuildControls();
  void BuildMenus();
  void BuildPopupMenu();
  void ScaleLayout();
  void ApplyAnchors();
  void ReadDecimalSeparator();
  void DrawDiagram();
  // What the magnified view shows of the density view: its cells recounted for the shown region
  // on a finer lattice, or the drawing itself at the whole view and below twice the size.
  void ShowMagnifiedDensity();
  void ChooseDensityCells(QAction* item, int32_t divisions);
  // Shows the new drawing by repainting only the symbols of the old and new selected rows.
  void ShowSelectionChange(int32_t before, const ViewState& view);
  using RegionPainter = std::function<void(QImage&, QRect, const DisplayZoom&)>;
  // Paints a part of the drawing of the discs under `view` as shown at a zoom, as a full replay
  // would: what lies under the symbols played again, the symbols found through the index.
  static RegionPainter SymbolRepaint(const ViewState& view, const PictureSnapshot& picture, size_t firstSymbol);
  void OpenDataFile(const QString& path);
  // Runs `load` on another thread. One that takes longer than the progress delay shows its
  // progress over the diagram, the window takes no other input, and Esc stops it.
  LoadResult RunLoad(const std::function<LoadResult(LoadProgress&)>& load);
  // Text from the clipboard or a drop, read as a data file's UTF-8 bytes.
  void OpenDataText(const QString& text);
  // After a load that changed the table: the grid and label, then the error or the drawing.
  void FinishLoad(const LoadResult& result, const QString& path);
  void SelectSample(int row);
  // The view the diagram is drawn in, from the state and the marks.
  ViewState CurrentView() const;
  // Shows the grouped field in the grid when the design's columns do not.
  void ShowGroupedField();
  // The symbol under a point of the picture as it is shown now (row 0: none).
  SymbolHit SymbolAt(QPointF at);
  static QString DroppedFile(const QMimeData* mime);
  // The text a drop or paste brings, when it brings no file and no link.
  static QString DroppedText(const QMimeData* mime);
  // Whether a drag brings one of the two, judged without fetching its data.
  static bool MayDrop(const QMimeData* mime);
  // The grid, the label and the symbol index after a load that changed the table.
  void ShowLoadedFile(const LoadResult& result, const QString& path);
  // Runs a handler's body; an error that escapes it is shown in the error box.
  void Guarded(const std::function<void()>& body);
  void ShowErrorBox(const std::string& message);
  // The marks as the handlers set them: a click toggles the item before its handler runs, so the
  // handlers read these, and every handler sets its item's mark itself.
  QAction* MarkItem(QMenu* menu, const QString& caption, void (TForm1::*handler)());
  void SetMark(QAction* item, bool checked);
  bool Mark(QAction* item) const { return marks_.value(item); }

  std::unique_ptr<Dialogs> dialogs_;
  QWidget* client_ = nullptr;
  std::vector<Placement> placements_;
  QSize clientSize_{935, 620};
  QHash<QAction*, bool> marks_;
  QProgressBar* prgLoad_ = nullptr;
  QActionGroup* colourByGroup_ = nullptr;
  int loadProgressDelay_ = 500;
  FileWatch* watch_ = nullptr;
  bool loading_ = false;
  std::shared_ptr<const DensityCells> magnifiedCells_;  // what the shown picture was drawn with
};

}  // namespace ternova::app
