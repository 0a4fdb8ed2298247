#include "app_test_support.h"

#include <functional>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "app/sample_grid.h"
#include "tests/flat_operations.h"

namespace ternova::app::testing {

QApplication& App() {
  static int argc = 1;
  static char name[] = "app_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    KeepNoDialogSettings();  // as the program does at start
    return a;
  }();
  return *app;
}

void WhileModal(const std::function<void(QWidget*)>& inspect, const std::function<void()>& open) {
  // The poll outlives this call when the widget never shows: it then stops at its next turn.
  struct Poll {
    bool seen = false, over = false;
    std::function<void(QWidget*)> inspect;
  };
  auto state = std::make_shared<Poll>();
  state->inspect = inspect;
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [state, weak = std::weak_ptr<std::function<void()>>(poll)] {
    if (state->over) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      if (auto again = weak.lock()) QTimer::singleShot(10, [again] { (*again)(); });
      return;
    }
    state->seen = true;
    state->over = true;
    state->inspect(modal);
    if (QApplication::activeModalWidget() == modal) QTest::keyClick(modal, Qt::Key_Escape);
  };
  QTimer::singleShot(0, [poll] { (*poll)(); });
  open();
  state->over = true;
  EXPECT_TRUE(state->seen);
}

std::vector<Symbol> Symbols(const PictureSnapshot& picture) {
  std::vector<Symbol> out;
  if (!picture.content) return out;
  Rgb brush = kWhite;
  for (const PictureOp& op : ::ternova::testing::FlatOperations(*picture.content)) {
    if (const auto* b = std::get_if<op::Brush>(&op)) brush = b->colour;
    if (const auto* e = std::get_if<op::Ellipse>(&op))
      out.push_back({(e->x1 + e->x2) / 2, (e->y1 + e->y2) / 2, (e->x2 - e->x1) / 2, brush});
  }
  return out;
}

std::vector<std::string> Describe(const PictureSnapshot& picture) {
  std::vector<std::string> out;
  if (!picture.content) return out;
  auto rgb = [](Rgb c) { return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b); };
  ForEachOperation(*picture.content, [&](const auto& op) {
    out.push_back(std::invoke(
        [&](const auto& o) -> std::string {
          using T = std::decay_t<decltype(o)>;
          if constexpr (std::is_base_of_v<op::Brush, T>) return "brush " + std::to_string(int(o.style)) + " " + rgb(o.colour);
          else if constexpr (std::is_same_v<T, op::Pen>)
            return "pen " + std::to_string(int(o.style)) + " " + rgb(o.colour) + " " + std::to_string(o.width);
          else if constexpr (std::is_same_v<T, op::Font>) return "font " + std::to_string(o.font);
          else if constexpr (std::is_same_v<T, op::TextOut>)
            return "text " + std::to_string(o.x) + " " + std::to_string(o.y) + " " + std::to_string(o.text);
          else if constexpr (std::is_same_v<T, op::MoveTo> || std::is_same_v<T, op::LineTo>)
            return std::string(std::is_same_v<T, op::MoveTo> ? "move " : "line ") + std::to_string(o.x) + " " + std::to_string(o.y);
          else if constexpr (std::is_same_v<T, op::Polygons>) {
            const PolygonSet* set = PolygonsOf(*picture.content, o);
            return "polygons " + std::to_string(set ? set->counts.size() : 0);
          } else
            return std::string(std::is_same_v<T, op::Ellipse> ? "ellipse " : "rect ") + std::to_string(o.x1) + " " +
                   std::to_string(o.y1) + " " + std::to_string(o.x2) + " " + std::to_string(o.y2);
        },
        op));
  });
  return out;
}

void WindowTest::SetUp() {
  App();
  State() = ProcessState{};
  auto dialogs = std::make_unique<FakeDialogs>();
  dialogs_ = dialogs.get();
  form_ = std::make_unique<TForm1>(std::move(dialogs));
  form_->show();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
}

void WindowTest::TearDown() { form_.reset(); }

QString WindowTest::WriteFile(const QString& name, const std::string& text) {
  const QString path = dir_.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text.data(), static_cast<qint64>(text.size()));
  return path;
}

std::string WindowTest::Lines(int count, int bad) {
  std::string text;
  for (int r = 1; r <= count; ++r) {
    const std::string first = r == bad ? "abc" : std::to_string(10 + r % 7);
    text += first + "\t" + std::to_string(20 + r % 5) + "\t30\t" + std::to_string(5 + r % 3) + "\tnote " + std::to_string(r) + "\n";
  }
  return text;
}

void WindowTest::Open(const QString& path) {
  dialogs_->openAnswers.push_back(path);
  form_->OpenO1->trigger();
}

void WindowTest::RecordReports() {
  form_->strgridData->SetSelectionReport([this](int row) {
    reports_.push_back(row);
    form_->strgridDataSelectCell(row);
  });
}

}  // namespace ternova::app::testing
