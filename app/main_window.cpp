#include "app/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "app/diagram_output.h"
#include "app/file_watch.h"
#include "app/image_control.h"
#include "app/language.h"
#include "app/menu_text.h"
#include "app/sample_grid.h"
#include "app/state.h"
#include "base/error.h"
#include "base/visible_text.h"
#include "data/data_file.h"
#include "data/number.h"
#include "diagram/render.h"
#include "picture/display.h"
#include "picture/qt/export.h"
#include "picture/qt/playback.h"
#include "picture/qt/platform.h"
#include "picture/qt/qt_text_metrics.h"

namespace ternova::app {

namespace {

constexpr int kDesignedTextHeight = 12;
const QString kWindowFace = QStringLiteral("ＭＳ Ｐゴシック");

// The file's name without its folder (after the last "/", "\" or ":"), as messages show names:
// a name with a line end or an escape in it shows all of itself.
QString NameWithoutFolder(const QString& path) {
  const int cut = std::max({path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')),
                            path.lastIndexOf(QLatin1Char(':'))});
  return QString::fromStdString(VisibleName(path.mid(cut + 1).toStdString()));
}

int Scale(int v, int num, int den) { return MulDiv(v, num, den); }

// A cell as the grid shows it, for a tip: a runaway field is cut short.
QString TipField(int32_t column, int32_t row) {
  constexpr int kLongest = 80;
  QString text = QString::fromStdString(State().Engine.Cells.Text(column, row));
  if (text.size() <= kLongest) return text;
  int cut = kLongest;
  if (text[cut - 1].isHighSurrogate()) --cut;
  return text.left(cut) + QChar(0x2026);
}

}  // namespace

TForm1::TForm1(std::unique_ptr<Dialogs> dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(std::move(dialogs)) {
  // Where the Japanese UI face is missing, its metric-compatible stand-in draws the text.
  QFont::insertSubstitution(kWindowFace, QStringLiteral("IPAPGothic"));
  setWindowTitle(QStringLiteral("Form1"));
  QFont font(kWindowFace);
  font.setPixelSize(12);
  setFont(font);
  BuildControls();
  BuildMenus();
  BuildPopupMenu();
  ScaleLayout();
  ReadDecimalSeparator();
  // The open file is followed on disk; a change waits while a load or a dialog holds the window.
  watch_ = new FileWatch([this](const QString& path) { FileChangedOnDisk(path); },
                         [this] { return loading_ || QApplication::activeModalWidget() || QApplication::activePopupWidget(); },
                         this);
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
  client_ = new QWidget(this);
  setCentralWidget(client_);
  client_->installEventFilter(this);

  strgridData = new SampleGrid(State().Engine.Cells, client_);
  strgridData->setObjectName(QStringLiteral("strgridData"));
  strgridData->SetSelectionReport([this](int row) { strgridDataSelectCell(row); });

  btnPlot = new QPushButton(QStringLiteral("PLOT / Refresh"), client_);
  btnPlot->setObjectName(QStringLiteral("btnPlot"));
  // Enter and Return press the focused button, as on the desktop the program comes from.
  btnPlot->setAutoDefault(true);
  connect(btnPlot, &QPushButton::clicked, this, [this] { btnPlotClick(); });

  lblFN = new QLabel(QStringLiteral("Data File = "), client_);
  lblFN->setObjectName(QStringLiteral("lblFN"));
  lblFN->setTextFormat(Qt::PlainText);  // file names are text, never markup
  QFont bold = font();
  bold.setBold(true);
  lblFN->setFont(bold);
  QPalette navy = lblFN->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  lblFN->setPalette(navy);

  imgTernova = new ImageControl(client_);
  imgTernova->setObjectName(QStringLiteral("imgTernova"));
  imgTernova->SetProbes([this](QPointF at) { return imgTernovaHint(at); },
                        [this](QPointF at) { imgTernovaMouseDown(at); });
  imgTernova->SetViewChanged([this](const DisplayBox&) { Guarded([this] { ShowMagnifiedDensity(); }); });
  setAcceptDrops(true);

  placements_ = {{strgridData, QRect(8, 24, 321, 587), false, true},
                 {btnPlot, QRect(8, 0, 129, 17), false, false},
                 {lblFN, QRect(336, 8, 73, 12), false, false},
                 {imgTernova, QRect(336, 24, 587, 587), true, true}};
  setTabOrder(strgridData, btnPlot);
  strgridData->setFocus();
}

QAction* TForm1::MarkItem(QMenu* menu, const QString& caption, void (TForm1::*handler)()) {
  QAction* item = menu->addAction(caption);
  item->setCheckable(true);
  marks_.insert(item, false);
  connect(item, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  return item;
}

void TForm1::BuildMenus() {
  MainMenu = menuBar();
  MainMenu->setObjectName(QStringLiteral("MainMenu"));
  const QStringList top = WithAccelerators({"File (&F)", "Option (&O)", "Help (&H)"});
  const QStringList file = WithAccelerators({"Open (&O)", "Save (S)", "-", "End (&E)"});
  const QStringList option = WithAccelerators({"Symbol Size (&S)", "Grid (&G)", "Colour by (&B)"});
  const QStringList sizes = WithAccelerators({"Large (&L)", "Medium (&M)", "Small (&S)"});
  const QStringList grids = WithAccelerators({"10% (&1)", "50% (&5)"});
  const QStringList help = WithAccelerators({"Ternova Help (&T)"});

  FileF1 = MainMenu->addMenu(top[0]);
  OpenO1 = FileF1->addAction(file[0]);
  SaveS1 = FileF1->addAction(file[1]);
  N1 = FileF1->addSeparator();
  EndE1 = FileF1->addAction(file[3]);
  connect(OpenO1, &QAction::triggered, this, [this] { OpenO1Click(); });
  connect(SaveS1, &QAction::triggered, this, [this] { SaveS1Click(); });
  connect(EndE1, &QAction::triggered, this, [this] { EndE1Click(); });

  OptionO1 = MainMenu->addMenu(top[1]);
  SymbolSizeS1 = OptionO1->addMenu(option[0]);
  auto* radio = new QActionGroup(this);  // exclusive: bullets, one checked
  LargeL1 = MarkItem(SymbolSizeS1, sizes[0], &TForm1::LargeL1Click);
  MediumM1 = MarkItem(SymbolSizeS1, sizes[1], &TForm1::MediumM1Click);
  SmallS1 = MarkItem(SymbolSizeS1, sizes[2], &TForm1::SmallS1Click);
  for (QAction* a : {LargeL1, MediumM1, SmallS1}) radio->addAction(a);
  GridG1 = OptionO1->addMenu(option[1]);
  N1011 = MarkItem(GridG1, grids[0], &TForm1::N1011Click);
  N5051 = MarkItem(GridG1, grids[1], &TForm1::N5051Click);
  ColourByC1 = OptionO1->addMenu(option[2]);
  colourByGroup_ = new QActionGroup(this);
  const QStringList colourBy = WithAccelerators({"None (&N)", "Note (&O)"});
  ColourByNone1 = MarkItem(ColourByC1, colourBy[0], &TForm1::ColourByNone1Click);
  ColourByNote1 = MarkItem(ColourByC1, colourBy[1], &TForm1::ColourByNote1Click);
  ColourByNone1->setData(0);
  ColourByNote1->setData(5);
  for (QAction* a : {ColourByNone1, ColourByNote1}) colourByGroup_->addAction(a);
  connect(ColourByC1, &QMenu::aboutToShow, this, [this] { Guarded([this] { UpdateColourByMenu(); }); });
  // The density view: a check item, and its cell size beside it.
  const QStringList density = WithAccelerators({"Density (&D)", "Density Cells (&C)"});
  const QStringList cells = WithAccelerators({"25 (&2)", "50 (&5)", "100 (&1)"});
  DensityD1 = MarkItem(OptionO1, density[0], &TForm1::DensityD1Click);
  DensityCellsC1 = OptionO1->addMenu(density[1]);
  auto* cellSizes = new QActionGroup(this);
  N2521 = MarkItem(DensityCellsC1, cells[0], &TForm1::N2521Click);
  N5052 = MarkItem(DensityCellsC1, cells[1], &TForm1::N5052Click);
  N10011 = MarkItem(DensityCellsC1, cells[2], &TForm1::N10011Click);
  for (QAction* a : {N2521, N5052, N10011}) cellSizes->addAction(a);

  HelpH1 = MainMenu->addMenu(top[2]);
  TernovaHelpT1 = HelpH1->addAction(help[0]);
  connect(TernovaHelpT1, &QAction::triggered, this, [this] { TernovaHelpT1Click(); });

  // The layout's initial marks: Medium, both grids.
  SetMark(MediumM1, true);
  SetMark(N1011, true);
  SetMark(N5051, true);
  SetMark(ColourByNone1, true);
  SetMark(N5052, true);

  const std::pair<QObject*, const char*> names[] = {
      {FileF1, "FileF1"},   {OpenO1, "OpenO1"},   {SaveS1, "SaveS1"},         {N1, "N1"},
      {EndE1, "EndE1"},     {OptionO1, "OptionO1"}, {SymbolSizeS1, "SymbolSizeS1"}, {LargeL1, "LargeL1"},
      {MediumM1, "MediumM1"}, {SmallS1, "SmallS1"}, {GridG1, "GridG1"},         {N1011, "N1011"},
      {N5051, "N5051"},     {HelpH1, "HelpH1"},   {TernovaHelpT1, "TernovaHelpT1"},
      {ColourByC1, "ColourByC1"}, {ColourByNone1, "ColourByNone1"}, {ColourByNote1, "ColourByNote1"},
      {DensityD1, "DensityD1"}, {DensityCellsC1, "DensityCellsC1"}, {N2521, "N2521"},
      {N5052, "N5052"},     {N10011, "N10011"}};
  for (const auto& [object, name] : names) object->setObjectName(QString::fromLatin1(name));

  // Samples straight from a spreadsheet. No item of its own, so the menu tree stays as it is;
  // nothing in the window edits text, so Ctrl+V means this wherever the focus is.
  PasteV1 = new QAction(this);
  PasteV1->setObjectName(QStringLiteral("PasteV1"));
  PasteV1->setShortcuts(QKeySequence::Paste);
  addAction(PasteV1);
  connect(PasteV1, &QAction::triggered, this, [this] { PasteV1Click(); });
}

void TForm1::BuildPopupMenu() {
  // Beside the main menu, which stays as it is: the diagram straight into a document.
  PopupMenu1 = new QMenu(imgTernova);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  CopyC1 = PopupMenu1->addAction(QTr(kCopy));
  SaveS2 = PopupMenu1->addAction(QStringLiteral("Save..."));
  PrintP1 = PopupMenu1->addAction(QTr(kPrint));
  CopyC1->setObjectName(QStringLiteral("CopyC1"));
  SaveS2->setObjectName(QStringLiteral("SaveS2"));
  PrintP1->setObjectName(QStringLiteral("PrintP1"));
  connect(CopyC1, &QAction::triggered, this, [this] { CopyC1Click(); });
  connect(SaveS2, &QAction::triggered, this, [this] { SaveS1Click(); });
  connect(PrintP1, &QAction::triggered, this, [this] { PrintP1Click(); });
  // Nothing to copy or print before the first drawing.
  connect(PopupMenu1, &QMenu::aboutToShow, this, [this] {
    const bool drawn = imgTernova->Picture().content != nullptr;
    CopyC1->setEnabled(drawn);
    PrintP1->setEnabled(drawn);
  });
  imgTernova->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(imgTernova, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(imgTernova->mapToGlobal(at)); });
}

void TForm1::SetMark(QAction* item, bool checked) {
  if (checked && item->actionGroup()) {
    for (QAction* other : item->actionGroup()->actions()) marks_[other] = false;
  }
  marks_[item] = checked;
  item->setChecked(checked);
}

void TForm1::ScaleLayout() {
  // The layout is designed for a 12-pixel text height at 96 dpi.
  const int dpi = screen() ? qRound(screen()->logicalDotsPerInchY()) : 96;
  if (dpi != 96) {
    QFont f = font();
    f.setPixelSize(Scale(12, dpi, 96));
    setFont(f);
    QFont bold = lblFN->font();
    bold.setPixelSize(f.pixelSize());
    lblFN->setFont(bold);
  }
  const int m = QFontMetrics(font()).height(), d = kDesignedTextHeight;
  if (m != d) {
    for (Placement& p : placements_) {
      const QRect r = p.rect;
      const int l = Scale(r.left(), m, d), t = Scale(r.top(), m, d);
      const int rt = Scale(r.left() + r.width(), m, d), b = Scale(r.top() + r.height(), m, d);
      p.rect = QRect(l, t, rt - l, b - t);
    }
    QFont bold = lblFN->font();
    bold.setPixelSize(Scale(bold.pixelSize(), m, d));
    lblFN->setFont(bold);
    clientSize_ = QSize(Scale(clientSize_.width(), m, d), Scale(clientSize_.height(), m, d));
  }
  for (Placement& p : placements_) {
    p.rightMargin = clientSize_.width() - (p.rect.left() + p.rect.width());
    p.bottomMargin = clientSize_.height() - (p.rect.top() + p.rect.height());
    p.control->setGeometry(p.rect);
  }
  lblFN->adjustSize();
  move(53, 40);
  resize(clientSize_.width(), clientSize_.height() + MainMenu->sizeHint().height());
}

void TForm1::ApplyAnchors() {
  const QSize client = client_->size();
  for (const Placement& p : placements_) {
    QRect r = p.control->geometry();
    if (p.right) r.setWidth(std::max(client.width() - r.left() - p.rightMargin, 0));
    if (p.bottom) r.setHeight(std::max(client.height() - r.top() - p.bottomMargin, 0));
    p.control->setGeometry(r);
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) ApplyAnchors();
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event) {
  // The decimal separator follows the user's regional settings while the program runs.
  if (event->type() == QEvent::LocaleChange) ReadDecimalSeparator();
  QMainWindow::changeEvent(event);
}

void TForm1::ReadDecimalSeparator() {
  // The same rule as ternova-plot's, so a file that loads in one loads in the other.
  State().DecimalSeparator = UserDecimalSeparator();
}

void TForm1::FormCreate() {
  SetMark(N1011, true);
  SetMark(N5051, true);
  State().SymbolSize = 6;
  SetMark(MediumM1, true);
  State().SelectedSample = 0;
  SetMark(DensityD1, false);
  State().DensityDivisions = kDefaultDensityDivisions;
  SetMark(N5052, true);
  const QString folder = QCoreApplication::applicationDirPath();
  OpenDialog.InitialDir = folder;
  SavePictureDialog.InitialDir = folder;
  State().Engine.Picture = DiagramPicture();
  State().Engine.Picture.SetWidth(2000);
  State().Engine.Picture.SetHeight(2000);
  State().Engine.Geometry = ComputeDiagramGeometry();

  OpenDialog.Filters = {{QTr(kTabSeparatedText), QStringLiteral("*.txt")}};
  // All pictures first, then the registered types in reverse order of registration.
  auto entry = [](Text description, const QString& pattern) {
    return FilterEntry{QTr(description) + QStringLiteral(" (") + pattern + QLatin1Char(')'), pattern};
  };
  SavePictureDialog.Filters = {entry(kAllPictures, QStringLiteral("*.bmp;*.ico;*.emf;*.wmf")),
                               entry(kBitmap, QStringLiteral("*.bmp")),
                               entry(kIcon, QStringLiteral("*.ico")),
                               entry(kEnhancedMetafile, QStringLiteral("*.emf")),
                               entry(kMetafile, QStringLiteral("*.wmf"))};
}

void TForm1::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    ShowErrorBox(Tr(kOutOfMemory));
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox(Tr(kUnknownError));
  }
}

void TForm1::ShowErrorBox(const std::string& message) {
  dialogs_->ShowError(this, QString::fromStdString(WithFullStop(message)));
}

ViewState TForm1::CurrentView() const {
  const ProcessState& s = State();
  return {s.SelectedSample, s.SymbolSize, Mark(N1011), Mark(N5051), s.ColourBy, s.HiddenGroups,
          Mark(DensityD1) ? s.DensityDivisions : 0};
}

void TForm1::DrawDiagram() {
  ProcessState& s = State();
  const ViewState view = CurrentView();
  QtTextMetrics metrics;
  const SurfaceEnvironment env{CurrentScreen(), SystemIsJapanese(), &metrics};
  // A new selection changes only the old and the new selected row's symbols.
  const bool selectionOnly = s.Engine.OnlySelectionDiffers(view);
  const int32_t before = selectionOnly ? s.Engine.DrawnView()->SelectedSample : 0;
  try {
    s.Engine.Draw(view, env);
  } catch (...) {
    // Whatever was recorded is shown, also when the drawing stopped at an error.
    imgTernova->SetPicture(Snapshot(s.Engine.Picture));
    throw;
  }
  if (selectionOnly) {
    ShowSelectionChange(before, view);
  } else {
    const PictureSnapshot picture = Snapshot(s.Engine.Picture);
    imgTernova->SetPicture(picture);
    // A drag over the magnified discs paints only what comes into view; the density view's
    // few operations are played whole.
    if (view.Density == 0)
      imgTernova->SetRegionPainter(picture.content, SymbolRepaint(view, picture, s.Engine.LastDrawn().firstSymbolOp));
    ShowMagnifiedDensity();
  }
}

void TForm1::ShowMagnifiedDensity() {
  ProcessState& s = State();
  const ViewState view = CurrentView();
  std::shared_ptr<const DensityCells> cells;
  if (imgTernova->Picture().content && s.Engine.DrawnView() == view)
    cells = s.Engine.ShownDensity(view, imgTernova->Zoom().scale, imgTernova->ShownRegion());
  if (!cells) {
    magnifiedCells_.reset();
    imgTernova->SetShownPicture({});
    return;
  }
  // A drag within what was counted shows the same picture; a new drawing drops it.
  if (cells == magnifiedCells_ && imgTernova->ShownPicture().content) return;
  QtTextMetrics metrics;
  const SurfaceEnvironment env{CurrentScreen(), SystemIsJapanese(), &metrics};
  DiagramPicture picture;
  picture.SetWidth(s.Engine.Picture.Width());
  picture.SetHeight(s.Engine.Picture.Height());
  s.Engine.DrawForDisplay(view, *cells, picture, env);
  magnifiedCells_ = std::move(cells);
  imgTernova->SetShownPicture(Snapshot(picture));
}

void TForm1::ShowSelectionChange(int32_t before, const ViewState& view) {
  Plot& engine = State().Engine;
  const SymbolIndex& symbols = engine.Symbols();
  const int32_t rows = symbols.Rows();
  const int64_t reach = 2 * std::abs(int64_t{view.SymbolSize});
  std::vector<QRectF> areas;
  for (const int32_t row : {before, view.SelectedSample}) {
    if (row < 1 || row > rows) continue;
    for (int face = 1; face <= 4; ++face) {
      const Point& p = engine.Table.SamplePoints[row][face];
      areas.emplace_back(p.x - reach, p.y - reach, 2 * reach, 2 * reach);
    }
  }
  const PictureSnapshot picture = Snapshot(engine.Picture);
  // Everything before the symbols lies under them and is played again as it is.
  const RegionPainter repaint = SymbolRepaint(view, picture, engine.LastDrawn().firstSymbolOp);
  imgTernova->SetPictureChangedIn(picture, areas, repaint);
  imgTernova->SetRegionPainter(picture.content, repaint);
}

TForm1::RegionPainter TForm1::SymbolRepaint(const ViewState& view, const PictureSnapshot& picture, size_t firstSymbol) {
  return [view, picture, firstSymbol](QImage& image, QRect clip, const DisplayZoom& zoom) {
    Plot& engine = State().Engine;
    const SymbolIndex& symbols = engine.Symbols();
    const int64_t reach = 2 * std::abs(int64_t{view.SymbolSize});
    const DisplayMapping mapping =
        DisplayMapping::ForImage(picture.width, picture.height, {image.width(), image.height()}, zoom);
    const DisplayBox box = mapping.LogicalOf({clip.left(), clip.top(), clip.right(), clip.bottom()});
    SymbolIndex::TopmostWalk walk(symbols, box.x0 - 1, box.y0 - 1, box.x1 + 1, box.y1 + 1, reach + 1);
    // A hidden group's symbols are not drawn, the highlighted one included. A crowd gives
    // thousands of symbols here: their colours are looked up, not worked out.
    const std::shared_ptr<const DiscColours> colours = engine.ColoursFor(view);
    auto placed = [&](const PlacedSymbol& symbol, PlacedDisc& disc) {
      const Rgb* colour = colours ? colours->Of(static_cast<uint32_t>(symbol.row - 1)) : &kBlue;
      if (!colour) return false;
      const bool selected = symbol.row == view.SelectedSample;
      disc = PlacedDisc{SymbolBox(symbol.centre, SymbolRadius(view, symbol.row)), selected ? kRed : *colour,
                        symbol.order};
      return true;
    };
    RepaintDisplayed(
        image, clip, picture, zoom, firstSymbol,
        [&](PlacedDisc& disc) {
          PlacedSymbol symbol;
          while (walk.Next(symbol))
            if (placed(symbol, disc)) return true;
          return false;
        },
        [&](const DiscSink& fill) {
          walk.Rest([&](const PlacedSymbol& symbol) {
            PlacedDisc disc;
            if (placed(symbol, disc)) fill(disc);
          });
        });
  };
}

// Magnified, a symbol keeps its size on the screen: it covers fewer logical units.
SymbolHit TForm1::SymbolAt(QPointF at) { return State().Engine.SymbolAt(at.x(), at.y(), 1 / imgTernova->Zoom().scale); }

void TForm1::OpenO1Click() {
  Guarded([this] {
    OpenDialog.FilterIndex = 1;
    if (!dialogs_->ExecuteOpen(this, OpenDialog)) return;
    OpenDataFile(OpenDialog.FileName);
  });
}

void TForm1::OpenDataFile(const QString& path) {
  ProcessState& s = State();
  // A file that cannot be read changes nothing and throws here.
  const std::string name = QFile::encodeName(path).toStdString();
  // Taken before the read, so a change while it reads is seen as one more change.
  const FileStamp stamp = FileStamp::Of(path);
  const LoadResult result = RunLoad([&](LoadProgress& progress) {
    return LoadDataFile(name, s.Engine.Target(), s.DecimalSeparator, &progress);
  });
  // The table is this file's now, also when a line failed: the user mends it and it reloads.
  watch_->Follow(path, stamp);
  FinishLoad(result, path);
}

void TForm1::FileChangedOnDisk(const QString& path) {
  // The user did nothing in this window: the keyboard focus stays where it was. The selected
  // row and the view options are not the table's, and a load leaves them as they are.
  const QPointer<QWidget> focus = focusWidget();
  Guarded([this, &path] {
    OpenDataFile(path);
    // The zoom is view state too: when the diagram can be zoomed, it is kept here.
  });
  if (focus) focus->setFocus();
}

namespace {

// A thread that works on the window's state ends before the function that started it.
struct JoinOnExit {
  std::thread& thread;
  ~JoinOnExit() {
    if (thread.joinable()) thread.join();
  }
};

// While a load runs, the window takes no input but Esc, which stops the load.
class LoadInputBlocker : public QObject {
 public:
  explicit LoadInputBlocker(LoadProgress& progress) : progress_(progress) { qApp->installEventFilter(this); }
  ~LoadInputBlocker() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) progress_.cancel = true;
        return true;
      case QEvent::ShortcutOverride:
        event->accept();  // taken by the load: no shortcut fires
        return true;
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::Drop:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Close:
        event->ignore();
        return true;
      default:
        return false;
    }
  }

 private:
  LoadProgress& progress_;
};

}  // namespace

LoadResult TForm1::RunLoad(const std::function<LoadResult(LoadProgress&)>& load) {
  LoadProgress progress;
  std::optional<LoadResult> result;
  std::exception_ptr failure;
  std::atomic<bool> done{false};
  // The file watch waits for the load: its reload would work on the same state.
  const bool wasLoading = std::exchange(loading_, true);
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } const restore{loading_, wasLoading};
  std::thread worker([&] {
    try {
      result = load(progress);
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  // The load works on the window's state: it is over before anything else happens to it.
  const JoinOnExit joiner{worker};

  QElapsedTimer clock;
  clock.start();
  while (!done && clock.elapsed() < loadProgressDelay_) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (!done) {
    // The grid must not read the cells the load is writing: they show blank until it is over.
    strgridData->Cells()->SetCellsBusy(true);
    strgridData->viewport()->update();
    LoadInputBlocker blocker(progress);
    if (!prgLoad_) {
      prgLoad_ = new QProgressBar(client_);
      prgLoad_->setTextVisible(true);
    }
    const QRect image = imgTernova->geometry();
    prgLoad_->setGeometry(image.left() + 20, image.top() + std::min(image.height(), 400) / 2 - 12,
                          std::max(image.width() - 40, 100), 24);
    prgLoad_->setRange(0, 0);  // until the lines are counted
    prgLoad_->show();
    prgLoad_->raise();
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
      if (done) {
        wait.quit();
        return;
      }
      if (const int32_t total = progress.total.load()) {
        prgLoad_->setRange(0, total);
        prgLoad_->setValue(std::min(progress.rows.load(), total));
      }
    });
    poll.start(30);
    wait.exec();
    prgLoad_->hide();
    strgridData->Cells()->SetCellsBusy(false);
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

void TForm1::OpenDataText(const QString& text) {
  ProcessState& s = State();
  const QByteArray utf8 = text.toUtf8();
  const LoadResult result = RunLoad([&](LoadProgress& progress) {
    return LoadDataBytes(std::make_shared<FileBytes>(utf8.begin(), utf8.end()), s.Engine.Target(), s.DecimalSeparator,
                         &progress);
  });
  // Pasted text has no file to follow.
  watch_->Stop();
  try {
    FinishLoad(result, QStringLiteral("(clipboard)"));
  } catch (const LoadError& e) {
    // No grid row number is in sight in the spreadsheet the text came from: the message names the line.
    if (e.Row() > 0) throw Error(Format(kPastedLine, {std::to_string(e.Row()), e.what()}));
    throw;
  }
}

void TForm1::FinishLoad(const LoadResult& result, const QString& path) {
  ShowLoadedFile(result, path);
  // Stopped by the user: left as a load that failed there, without a message.
  if (result.cancelled) return;
  if (result.error) throw *result.error;
  DrawDiagram();
  // The focus frame shows also when the load came from the mouse, so the user sees where
  // Enter goes.
  setAttribute(Qt::WA_KeyboardFocusChange);
  btnPlot->setFocus();
  imgTernova->AfterNextPaint([this] {
    if (State().Engine.SymbolIndexPending()) State().Engine.StartSymbolIndex();
    // The density view's cells are counted once the window has nothing else to do, so that
    // Option > Density shows them at once; a later event would wait for the count.
    QTimer::singleShot(0, this, [this] {
      Guarded([this] {
        if (!State().Engine.DrawnView() || loading_) return;
        ViewState view = CurrentView();
        view.Density = State().DensityDivisions;
        State().Engine.Density(view);
      });
    });
  });
}

void TForm1::ShowLoadedFile(const LoadResult& result, const QString& path) {
  ProcessState& s = State();
  lblFN->setText(QStringLiteral("Data file = ") + NameWithoutFolder(path));
  lblFN->adjustSize();
  // The symbols on screen are the old table's until the next full drawing, and whatever the
  // last table's index came to, it is replaced below.
  s.Engine.TableChanged();
  {
    // The grid is sized for the file before any of its lines is processed, so the redraw of a
    // current cell pushed up to the new last row shows none of the file's samples.
    const int32_t completed = std::exchange(s.Engine.Table.CompletedRows, 0);
    strgridData->ShowLoadedFile(result.rows);
    s.Engine.Table.CompletedRows = completed;
  }
  // That redraw showed none of the rows the load completed: the next drawing must be a whole
  // one, not a repaint of the selection's symbols over it.
  s.Engine.TableChanged();
  // A new table keeps its grouping by the same field where it has one, and shows every group.
  s.HiddenGroups.clear();
  if (s.ColourBy > CellStore::kColumns && s.Engine.FieldCount() < s.ColourBy) {
    s.ColourBy = 0;
    SetMark(ColourByNone1, true);
  }
  ShowGroupedField();
  // The line the message is about comes into view.
  if (result.error) strgridData->ShowRow(result.error->Row());
  if (!result.error) {
    // A loaded file is drawn next: the old diagram goes first, so the new centres take the
    // memory of its centres instead of fresh pages. A failed load keeps it on screen.
    s.Engine.Picture.SetContent(nullptr);
    imgTernova->SetPicture(Snapshot(s.Engine.Picture));
  }
  try {
    // The index and every drawing that follows share the symbols' centres; the index is built
    // when the new table is on screen.
    s.Engine.CollectCentres();
  } catch (...) {
    // The load's own message is the one to show; an index that failed is empty.
    if (!result.error) throw;
  }
}

void TForm1::SaveS1Click() {
  Guarded([this] {
    SavePictureDialog.FilterIndex = 4;
    SavePictureDialog.DefaultExt = QStringLiteral("emf");
    if (!dialogs_->ExecuteSave(this, SavePictureDialog) || SavePictureDialog.FileName.isEmpty()) return;
    // Before the first drawing the control holds an empty picture, and that is what is saved.
    // A pipe would hold the window until some other program reads it: refused instead.
    SavePictureFile(QFile::encodeName(SavePictureDialog.FileName).toStdString(), imgTernova->Picture(),
                    PipeTargets::Refuse);
  });
}

void TForm1::EndE1Click() {
  Guarded([] { QCoreApplication::quit(); });
}

void TForm1::btnPlotClick() {
  Guarded([this] {
    State().SelectedSample = 0;
    DrawDiagram();
  });
}

void TForm1::strgridDataSelectCell(int row) {
  Guarded([this, row] { SelectSample(row); });
}

void TForm1::SelectSample(int row) {
  State().SelectedSample = row;
  DrawDiagram();
}

void TForm1::LargeL1Click() {
  Guarded([this] {
    SetMark(LargeL1, true);
    State().SymbolSize = 10;
    DrawDiagram();
  });
}

void TForm1::MediumM1Click() {
  Guarded([this] {
    SetMark(MediumM1, true);
    State().SymbolSize = 6;
    DrawDiagram();
  });
}

void TForm1::SmallS1Click() {
  Guarded([this] {
    SetMark(SmallS1, true);
    State().SymbolSize = 3;
    DrawDiagram();
  });
}

void TForm1::N1011Click() {
  Guarded([this] {
    SetMark(N1011, !Mark(N1011));
    DrawDiagram();
  });
}

void TForm1::N5051Click() {
  Guarded([this] {
    SetMark(N5051, !Mark(N5051));
    DrawDiagram();
  });
}

void TForm1::ColourByNone1Click() { ColourByClick(0); }
void TForm1::ColourByNote1Click() { ColourByClick(5); }

void TForm1::ColourByClick(int field) {
  Guarded([this, field] {
    ProcessState& s = State();
    s.ColourBy = field;
    s.HiddenGroups.clear();
    for (QAction* item : colourByGroup_->actions())
      if (item->data().toInt() == field) SetMark(item, true);
    ShowGroupedField();
    DrawDiagram();
  });
}

void TForm1::DensityD1Click() {
  Guarded([this] {
    SetMark(DensityD1, !Mark(DensityD1));
    DrawDiagram();
  });
}

void TForm1::UpdateColourByMenu() {
  const int32_t fields = State().Engine.FieldCount();
  const QList<QAction*> items = colourByGroup_->actions();
  // None and Note stay; the field items follow the table.
  for (QAction* item : items) {
    if (item == ColourByNone1 || item == ColourByNote1) continue;
    if (item->data().toInt() <= fields) continue;
    colourByGroup_->removeAction(item);
    marks_.remove(item);
    delete item;
  }
  for (int32_t field = 6; field <= fields; ++field) {
    bool present = false;
    for (QAction* item : colourByGroup_->actions()) present = present || item->data().toInt() == field;
    if (present) continue;
    QAction* item = ColourByC1->addAction(QStringLiteral("Field %1").arg(field));
    item->setObjectName(QStringLiteral("ColourByField%1").arg(field));
    item->setCheckable(true);
    item->setData(field);
    marks_.insert(item, false);
    colourByGroup_->addAction(item);
    connect(item, &QAction::triggered, this, [this, field] { ColourByClick(field); });
  }
  for (QAction* item : colourByGroup_->actions())
    if (item->data().toInt() == State().ColourBy) SetMark(item, true);
}

void TForm1::ShowGroupedField() {
  const int32_t field = State().ColourBy;
  strgridData->ShowExtraField(field > CellStore::kColumns ? field : 0);
}

void TForm1::ChooseDensityCells(QAction* item, int32_t divisions) {
  Guarded([this, item, divisions] {
    // Choosing a cell size asks for the view in it.
    SetMark(item, true);
    SetMark(DensityD1, true);
    State().DensityDivisions = divisions;
    DrawDiagram();
  });
}

void TForm1::N2521Click() { ChooseDensityCells(N2521, 25); }
void TForm1::N5052Click() { ChooseDensityCells(N5052, 50); }
void TForm1::N10011Click() { ChooseDensityCells(N10011, 100); }

void TForm1::TernovaHelpT1Click() {
  Guarded([this] { dialogs_->ShowHelp(this, QString::fromUtf8(kHelpText)); });
}

void TForm1::CopyC1Click() {
  Guarded([this] {
    if (!imgTernova->Picture().content) return;
    QGuiApplication::clipboard()->setMimeData(DiagramMimeData(imgTernova->Picture()).release());
  });
}

void TForm1::PasteV1Click() {
  Guarded([this] {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    const QString path = DroppedFile(mime);
    if (!path.isEmpty()) {
      OpenDialog.FileName = path;
      OpenDataFile(path);
      return;
    }
    // An empty clipboard, or one holding a picture (the diagram copied a moment ago): nothing to load.
    const QString text = DroppedText(mime);
    if (!text.isEmpty()) OpenDataText(text);
  });
}

void TForm1::PrintP1Click() {
  Guarded([this] {
    if (!imgTernova->Picture().content) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Ternova"));
    if (!dialogs_->ExecutePrint(this, printer)) return;
    PrintDiagram(printer, imgTernova->Picture());
  });
}

ImageHint TForm1::imgTernovaHint(QPointF at) {
  ImageHint hint;
  Guarded([&] {
    const SymbolHit hit = SymbolAt(at);
    if (hit.row == 0) return;
    QString text = QTr(kSampleTip).arg(hit.row);
    const QString note = TipField(5, hit.row);
    if (!note.isEmpty()) text += QStringLiteral(": ") + note;
    if (const ViewState view = CurrentView(); view.ColourBy > 0)
      text += QLatin1Char('\n') + QTr(kGroupTip).arg(QString::fromStdString(State().Engine.GroupTextOf(view, hit.row)));
    const char* names[] = {"SiO2", "Al2O3+CaO", "MgO", "FeO"};
    for (int32_t column = 1; column <= 4; ++column)
      text += QStringLiteral("\n%1 = %2").arg(QLatin1String(names[column - 1]), TipField(column, hit.row));
    const double r = static_cast<double>(hit.radius) / imgTernova->Zoom().scale;
    hint = {text, QRectF(hit.centre.x - r, hit.centre.y - r, 2 * r, 2 * r)};
  });
  return hint;
}

void TForm1::imgTernovaMouseDown(QPointF at) {
  Guarded([this, at] {
    ProcessState& s = State();
    // A legend line hides its group, or shows it again.
    if (const int32_t entry = s.Engine.LegendEntryAt(at.x(), at.y()); entry >= 0) {
      const Grouping& groups = s.Engine.Groups(s.ColourBy);
      if (static_cast<size_t>(entry) >= groups.groups.size()) return;
      const SampleGroup& group = groups.groups[static_cast<size_t>(entry)];
      const std::string& key = LegendKey(group);
      auto& hidden = s.HiddenGroups;
      const auto at = std::lower_bound(hidden.begin(), hidden.end(), key);
      if (at != hidden.end() && *at == key) hidden.erase(at);
      else hidden.insert(at, key);
      DrawDiagram();
      return;
    }
    const SymbolHit hit = SymbolAt(at);
    if (hit.row < 1 || hit.row >= strgridData->Cells()->GridRows()) return;
    // The grid follows without a report of its own: this press is the one selection.
    strgridData->SetCurrent(std::max(strgridData->CurrentColumn(), 1), hit.row);
    SelectSample(hit.row);
  });
}

QString TForm1::DroppedFile(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

QString TForm1::DroppedText(const QMimeData* mime) {
  // A link (from a browser) is no data, even where it comes with its address as text.
  if (!mime || mime->hasUrls() || !mime->hasText()) return {};
  return mime->text();
}

bool TForm1::MayDrop(const QMimeData* mime) {
  // Only the text's presence: fetching it from the program it comes from at every mouse move
  // would hold up the drag.
  return !DroppedFile(mime).isEmpty() || (mime && mime->hasText() && !mime->hasUrls());
}

namespace {

// A viewer only ever copies: a drop taken as a move makes the program it came from delete the
// cells (a spreadsheet proposes Move). A source that cannot copy is refused.
bool AcceptAsCopy(QDropEvent* event) {
  if (!(event->possibleActions() & Qt::CopyAction)) return false;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return true;
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (MayDrop(event->mimeData())) AcceptAsCopy(event);
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (MayDrop(event->mimeData())) AcceptAsCopy(event);
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString path = DroppedFile(event->mimeData());
  const QString text = path.isEmpty() ? DroppedText(event->mimeData()) : QString();
  if ((path.isEmpty() && text.isEmpty()) || !AcceptAsCopy(event)) return;
  // Loaded once the drop is over, so the program the data came from is not kept waiting.
  if (!path.isEmpty())
    QTimer::singleShot(0, this, [this, path] { FormDropFile(path); });
  else
    QTimer::singleShot(0, this, [this, text] { FormDropText(text); });
}

void TForm1::OpenAtStart(const QString& path) {
  // Relative to the folder the program was started in, whatever happens to it later.
  const QString full = QFileInfo(path).absoluteFilePath();
  QTimer::singleShot(0, this, [this, full] { FormDropFile(full); });
}

void TForm1::FormDropFile(const QString& path) {
  Guarded([this, &path] {
    OpenDialog.FileName = path;
    OpenDataFile(path);
  });
}

void TForm1::FormDropText(const QString& text) {
  Guarded([this, &text] { OpenDataText(text); });
}

}  // namespace ternova::app
