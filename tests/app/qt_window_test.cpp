// The real Qt window, offscreen: what only the Qt backend does - closing,
// focus and the keyboard, the tree a screen reader reads.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <functional>

#include "app/installer_app.h"
#include "app/toolkit/headless/headless_toolkit.h"
#include "app/toolkit/qt/qt_toolkit.h"
#include "app/toolkit/qt/qt_widgets.h"
#include "app/visual_kit.h"
#include "tests/support/install_sandbox.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra::ui {
namespace {

namespace fs = std::filesystem;

// The installer's window while it is shown.
QWidget* window() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == "Nimbra Setup" && widget->isVisible() && !widget->isModal()) return widget;
  }
  return nullptr;
}

class QtWindowTest : public ::testing::Test {
 protected:
  QtWindowTest() {
    for (const std::int64_t major : {7, 8}) {
      simulated::makeRhinoBundle(applications() / ("Rhino " + std::to_string(major) + ".app"), {.major = major});
    }
  }
  fs::path applications() const { return box_.home() / "Applications"; }

  // Runs the application until it ends; script runs once the window shows.
  // Unless the script is to end the application itself, the test ends it.
  void run(const std::function<void()>& script, bool endsItself = false) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "qt_window_test";
    char* argv[] = {name, nullptr};
    QtToolkit toolkit(argc, argv, kTheme, machine_);
    app_ = std::make_unique<InstallerApp>(toolkit, [this](const fs::path&, const fs::path& home) {
      HostLocations host;
      host.systemApplications = box_.home() / "no system applications";
      host.spotlightTool = "/nonexistent/mdfind";
      host.runningApplications = [] { return std::vector<RunningApplication>{}; };
      return std::make_unique<InstallEngine>(box_.resources(), home, FileManager::standard(), host);
    });
    setenv("HOME", box_.home().c_str(), 1);
    QTimer::singleShot(0, [&] {
      waitFor([&] { return window() != nullptr && shown("Ready to install · 1.3.0"); });
      window()->activateWindow();
      waitFor([&] { return QApplication::focusWindow() != nullptr; });
      settle();
      script();
      QTimer::singleShot(endsItself ? 5'000 : 0, [endsItself] {
        if (endsItself) ADD_FAILURE() << "the application did not end by itself";
        QApplication::quit();
      });
    });
    QTimer::singleShot(60'000, [] { ADD_FAILURE() << "the window never ended"; QApplication::quit(); });
    toolkit.run(*app_);
  }

  static void waitFor(const std::function<bool()>& condition) {
    EXPECT_TRUE(QTest::qWaitFor(condition, 20'000));
  }
  // Lets the window show every change made so far.
  static void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  // A key as the user types it: to whatever has the focus.
  static void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window();
    QTest::keyClick(target, key, modifiers);
    settle();
  }
  static std::string focused() {
    QWidget* widget = QApplication::focusWidget();
    return widget != nullptr ? widget->accessibleName().toStdString() : "(none)";
  }
  // The shown widget a screen reader calls name, if any.
  static QWidget* shown(const std::string& name) {
    if (window() == nullptr) return nullptr;
    for (QWidget* widget : window()->findChildren<QWidget*>()) {
      if (widget->isVisible() && widget->accessibleName().toStdString() == name) return widget;
    }
    return nullptr;
  }
  static bool checked(const std::string& name) {
    QWidget* widget = shown(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget != nullptr && QAccessible::queryAccessibleInterface(widget)->state().checked;
  }
  // Tabs forward until the control named name has the focus.
  static void tabTo(const std::string& name) {
    for (int i = 0; i < 20 && focused() != name; ++i) type(Qt::Key_Tab);
    EXPECT_EQ(focused(), name);
  }

  nimbra::testing::InstallSandbox box_;
  HeadlessToolkit machine_;  // its workspace only: Rhinos the test starts and ends, nothing of the machine's
  std::unique_ptr<InstallerApp> app_;
};

// Runs every action the tree offers on every shown node: a press or toggle
// runs the control's action once, after the call has returned, and a toggle flips it; "set focus" gives it
// the focus. A disabled control offers none. The control's own action is counted in
// place of running and put back after.
void expectEveryActionDoesWhatItSays(QAccessibleInterface* node, int& actions) {
  for (int i = 0; i < node->childCount(); ++i) expectEveryActionDoesWhatItSays(node->child(i), actions);
  QAccessibleActionInterface* offered = node->actionInterface();
  auto* holder = dynamic_cast<ViewHolder*>(node->object());
  const auto button = holder != nullptr ? std::dynamic_pointer_cast<Button>(holder->view()) : nullptr;
  if (offered == nullptr || !button) return;
  const std::string name = node->text(QAccessible::Name).toStdString();
  for (const QString& action : offered->actionNames()) {
    ++actions;
    const bool wasOn = button->on();
    const std::function<void()> own = button->action();
    // An action that takes long (a dialog) must not hold the call.
    int ran = 0;
    button->setAction([&ran] {
      ++ran;
      QThread::msleep(300);
    });
    QElapsedTimer call;
    call.start();
    offered->doAction(action);
    EXPECT_LT(call.elapsed(), 100) << name << ": " << action.toStdString() << " waited for what it started";
    const bool focusing = action == QAccessibleActionInterface::setFocusAction();
    // A press runs once the call has returned, within a second.
    const bool pressed = focusing || QTest::qWaitFor([&] { return ran > 0; }, 1000);
    QApplication::processEvents();
    button->setAction(own);
    if (focusing) {
      EXPECT_EQ(QApplication::focusWidget(), node->object()) << name;
      continue;
    }
    EXPECT_TRUE(button->enabled()) << name << " offers " << action.toStdString() << " while disabled";
    EXPECT_TRUE(pressed && ran == 1) << name << ": " << action.toStdString() << " ran " << ran << " times";
    if (action == QAccessibleActionInterface::toggleAction()) {
      EXPECT_NE(button->on(), wasOn) << name;
      offered->doAction(action);  // and back as it was
      QApplication::processEvents();
    }
  }
}

// Every label below root shows its whole text: nothing is cut off.
void expectEveryTextFits(QWidget* root) {
  for (QLabel* label : root->findChildren<QLabel*>()) {
    if (!label->isVisible()) continue;
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect needed = label->fontMetrics().boundingRect(label->contentsRect(), flags, label->text());
    EXPECT_TRUE(label->contentsRect().contains(needed)) << label->text().toStdString();
  }
}

double luminance(QColor colour) {
  const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}
double contrast(QColor a, QColor b) {
  const double one = luminance(a), other = luminance(b);
  return (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05);
}
// The focused control's ring at the middle of its left edge, and what lies
// beside it: inside the ring, and the window around the control.
struct Ring {
  QColor ring, inside, around;
};
Ring focusRing() {
  QWidget* control = QApplication::focusWidget();
  const QImage image = control->grab().toImage();
  const QImage window = control->window()->grab().toImage();
  const QPoint left = control->mapTo(control->window(), QPoint(0, control->height() / 2));
  const int scale = int(control->devicePixelRatioF());
  return {image.pixelColor(scale, image.height() / 2), image.pixelColor(3 * scale, image.height() / 2),
          window.pixelColor((left.x() - 2) * scale, left.y() * scale)};
}

TEST_F(QtWindowTest, AnInstallCanBeShapedAndFinishedByKeyboardAlone) {
  machine_.startApplication({applications() / "Rhino 7.app", true});
  run([&] {
    type(Qt::Key_Tab);
    EXPECT_EQ(focused(), "Install automatically");
    // A ring that stands out, and a selected card unlike a focused control.
    const Ring selectedCard = focusRing();
    type(Qt::Key_Tab);  // the two cards are one stop, as a radio group is; the arrows move inside it
    EXPECT_EQ(focused(), "Locate Rhino…");
    const Ring secondary = focusRing();
    QWidget* selected = shown("Install automatically");
    ASSERT_NE(selected, nullptr);
    const QImage selectedLook = selected->grab().toImage();
    EXPECT_GE(contrast(selectedLook.pixelColor(1, selectedLook.height() / 2), secondary.ring), 2.0)
        << "a selected card looks focused";
    tabTo("Open Rhino after installation");
    const Ring checkBox = focusRing();
    tabTo("Install Nimbra");
    const Ring primary = focusRing();
    for (const Ring& ring : {selectedCard, secondary, checkBox, primary}) {
      EXPECT_GE(contrast(ring.ring, ring.inside), 3.0) << ring.ring.name().toStdString();
      EXPECT_GE(contrast(ring.ring, ring.around), 3.0) << ring.ring.name().toStdString();
    }
    tabTo("Install automatically");
    type(Qt::Key_Right);  // the arrow keys move between the two cards, selecting
    EXPECT_EQ(focused(), "Choose installation");
    EXPECT_TRUE(checked("Choose installation"));
    tabTo("Rhino 7");
    type(Qt::Key_Space);
    EXPECT_FALSE(checked("Rhino 7"));
    type(Qt::Key_Tab, Qt::ShiftModifier);
    type(Qt::Key_Tab);
    type(Qt::Key_Space);
    EXPECT_TRUE(checked("Rhino 7"));
    tabTo("Open Rhino after installation");
    type(Qt::Key_Space);
    EXPECT_FALSE(checked("Open Rhino after installation"));
    tabTo("Search again");
    type(Qt::Key_Space);  // the focus waits on the progress bar, then comes back
    waitFor([&] { return focused() == "Search again" && shown("Ready to install · 1.3.0") != nullptr; });

    // Escape cancelling a wait: the end-to-end test, at a real window.
    type(Qt::Key_Return);  // Install, the default button, wherever the focus is
    waitFor([&] { return focused() == "Done"; });
    type(Qt::Key_Return);  // a second press meant for Install lands on Done at once
    ASSERT_NE(window(), nullptr) << "the completion screen was skipped";
    QTest::qWait(600);
    type(Qt::Key_Return);
  }, true);
  EXPECT_TRUE(fs::exists(box_.destination(7) / "1.3.0/Nimbra.gha"));
  EXPECT_TRUE(fs::exists(box_.destination(8) / "1.3.0/Nimbra.gha"));
  EXPECT_EQ(machine_.quitRequests().size(), 1u);
  EXPECT_EQ(machine_.launches(), std::vector<fs::path>{}) << "opened again after the install, unasked";
}

TEST_F(QtWindowTest, CloseWaitsForRhinoSayingWhyThenEndsAllAndAnAlertKeepsTheKeyboard) {
  const pid_t rhino = machine_.startApplication({applications() / "Rhino 8.app", false});
  run([&] {
    type(Qt::Key_Return);
    waitFor([&] { return shown("Cancel") != nullptr; });
    window()->close();
    settle();
    EXPECT_NE(window(), nullptr);
    EXPECT_NE(shown("Nimbra Setup cannot close while it waits for Rhino. Press Cancel to stop waiting."), nullptr);
    machine_.endApplication(rhino);
    waitFor([&] { return focused() == "Done"; });

    // No desktop handler for folders here: View backup says where the folder is.
    tabTo("View backup");
    std::string alert;
    QTimer::singleShot(0, [&] {
      QWidget* sheet = QApplication::activeModalWidget();
      ASSERT_NE(sheet, nullptr);
      // An alert is one to a screen reader, with its title and message.
      QAccessibleInterface* read = QAccessible::queryAccessibleInterface(sheet);
      EXPECT_EQ(read->role(), QAccessible::AlertMessage);
      EXPECT_EQ(read->text(QAccessible::Name).toStdString(), "Nimbra Setup");
      alert = read->text(QAccessible::Description).toStdString();
      expectEveryTextFits(sheet);
      // A stray click on the window behind, then the keyboard.
      QTest::mouseClick(window(), Qt::LeftButton, {}, QPoint(400, 300));
      window()->activateWindow();
      settle();
      type(Qt::Key_Return);
    });
    type(Qt::Key_Space);
    const fs::path backup = fs::directory_iterator(box_.support() / "Backups")->path();
    EXPECT_EQ(alert, "The backup folder could not be opened. You can find it at \u201c" + backup.string() + "\u201d.");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(focused(), "View backup") << "the keyboard goes back where it was";
    // Not busy, the close button ends the whole application, not the window alone.
    window()->close();  // what the window manager's close does
  }, true);
  EXPECT_EQ(window(), nullptr);
}

// What a screen reader finds on each screen is read by the end-to-end test,
// on the real accessibility bus; here, what only Qt's side can show: every
// action a control offers does what it says, once.
TEST_F(QtWindowTest, EveryAccessibleActionDoesWhatItSaysOnce) {
  run([&] {
    expectEveryTextFits(window());
    int actions = 0;
    expectEveryActionDoesWhatItSays(QAccessible::queryAccessibleInterface(window()), actions);
    EXPECT_GE(actions, 12) << "the cards, check boxes and buttons, each with two actions";

    type(Qt::Key_Return);
    waitFor([&] { return focused() == "Done"; });
    actions = 0;
    expectEveryActionDoesWhatItSays(QAccessible::queryAccessibleInterface(window()), actions);
    EXPECT_GE(actions, 4) << "View backup and Done";
  });
}

}  // namespace
}  // namespace nimbra::ui
