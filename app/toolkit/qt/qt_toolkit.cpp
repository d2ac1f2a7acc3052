#include "app/toolkit/qt/qt_toolkit.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QMenuBar>
#include <QStyleFactory>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <chrono>

#include "app/toolkit/desktop_settings.h"
#include "app/toolkit/qt/qt_accessibility.h"
#include "app/toolkit/qt/qt_alert.h"
#include "app/toolkit/qt/qt_mirror.h"
#include "app/toolkit/qt/qt_open_panel.h"
#include "app/toolkit/qt/qt_painting.h"
#include "engine/platform/own_locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

struct QtToolkit::State {
  std::unique_ptr<QApplication> application;
  Workspace* workspace = nullptr;
  ApplicationDelegate* delegate = nullptr;
  QtWindow* window = nullptr;
};

namespace {

class QtTimer : public Timer {
 public:
  QtTimer(double seconds, std::function<void()> tick) {
    timer_.setInterval(int(seconds * 1000));
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    timer_.start();
  }
  void invalidate() override { timer_.stop(); }

 private:
  QTimer timer_;
};

void darkTheme(QApplication& application) {
  application.setStyle(QStyleFactory::create("Fusion"));
  QPalette colours;
  colours.setColor(QPalette::Window, toQt(theme().paper));
  colours.setColor(QPalette::WindowText, toQt(theme().ink));
  colours.setColor(QPalette::Base, toQt(theme().surface));
  colours.setColor(QPalette::AlternateBase, toQt(theme().paper));
  colours.setColor(QPalette::Text, toQt(theme().ink));
  colours.setColor(QPalette::Button, toQt(theme().surface));
  colours.setColor(QPalette::ButtonText, toQt(theme().ink));
  colours.setColor(QPalette::Highlight, toQt(theme().accent));
  colours.setColor(QPalette::HighlightedText, Qt::white);
  colours.setColor(QPalette::ToolTipBase, toQt(theme().surface));
  colours.setColor(QPalette::ToolTipText, toQt(theme().ink));
  application.setPalette(colours);
  application.setFont(toQt(Font{13, Weight::regular}));
}

}  // namespace

QtToolkit::QtToolkit(int& argc, char** argv, const Theme& theme, Workspace& workspace)
    : state_(std::make_unique<State>()) {
  useTheme(theme);
  state_->workspace = &workspace;
  state_->application = std::make_unique<QApplication>(argc, argv);
  installAccessibility();
  QApplication::setApplicationName("Nimbra Setup");
  QApplication::setQuitOnLastWindowClosed(false);  // the delegate decides
  darkTheme(*state_->application);
  View::setChangeObserver([this] {
    if (state_->window != nullptr) state_->window->scheduleSync();
  });
}

QtToolkit::~QtToolkit() {
  View::setChangeObserver(nullptr);
  delete state_->window;
}

int QtToolkit::run(ApplicationDelegate& delegate) {
  state_->delegate = &delegate;
  // The one menu item. On macOS this is the application menu; elsewhere the
  // bar is not shown and the shortcut is carried by the window.
  auto* bar = new QMenuBar(nullptr);
  auto* menu = bar->addMenu(QString());
  auto* quit = menu->addAction("Quit Nimbra Setup");
  quit->setShortcut(QKeySequence::Quit);
  quit->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(quit, &QAction::triggered, [this] {
    if (state_->delegate->applicationShouldTerminate()) QApplication::quit();
  });
  QTimer::singleShot(0, [this, quit] {
    state_->delegate->applicationDidFinishLaunching();
    if (state_->window != nullptr) state_->window->addAction(quit);
  });
  const int status = QApplication::exec();
  delete bar;
  return status;
}

void QtToolkit::postToMain(std::function<void()> work) {
  QMetaObject::invokeMethod(state_->application.get(), std::move(work), Qt::QueuedConnection);
}

void QtToolkit::runInBackground(std::function<void()> work) { QThreadPool::globalInstance()->start(std::move(work)); }

std::unique_ptr<Timer> QtToolkit::scheduleRepeating(double seconds, std::function<void()> tick) {
  return std::make_unique<QtTimer>(seconds, std::move(tick));
}

void QtToolkit::runAfter(double seconds, std::function<void()> work) {
  QTimer::singleShot(int(seconds * 1000), state_->application.get(), std::move(work));
}

double QtToolkit::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void QtToolkit::showWindow(Window& window) {
  // Closing the window by hand ends the application, as Done does.
  state_->window = new QtWindow(window, *state_->delegate, *this, [this] {
    if (state_->delegate->applicationShouldTerminateAfterLastWindowClosed()) QApplication::quit();
  });
  window.setVisible(true);
  state_->window->show();
  state_->window->raise();
  state_->window->activateWindow();
}

void QtToolkit::closeWindow(Window& window) {
  window.setVisible(false);
  if (state_->window != nullptr) state_->window->closeWithoutAsking();
  if (state_->delegate->applicationShouldTerminateAfterLastWindowClosed()) QApplication::quit();
}

void QtToolkit::setApplicationIcon(const std::optional<std::string>& image) {
  if (image) QApplication::setWindowIcon(QIcon(QString::fromStdString(*image)));
}

void QtToolkit::beep() { QApplication::beep(); }

void QtToolkit::showAlert(const std::string& message, const std::string& informative) {
  AlertSheet sheet(message, informative, state_->window, *this);
  sheet.exec();
}

std::optional<fs::path> QtToolkit::runOpenPanel(const OpenPanelRequest& request) {
  ApplicationPicker panel(state_->window, QString::fromStdString(request.prompt),
                          QString::fromStdString(homeFolder().string()), request.allowedExtensions);
  if (panel.exec() != QDialog::Accepted || !panel.chosen()) return std::nullopt;
  return fs::path(panel.chosen()->toStdString());
}

Workspace& QtToolkit::workspace() { return *state_->workspace; }

bool QtToolkit::openFolder(const fs::path& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

bool QtToolkit::reduceMotion() { return desktopReducesMotion(desktopSettings()); }

fs::path QtToolkit::resourcesFolder() { return bundleResources(); }

fs::path QtToolkit::homeFolder() { return nimbra::homeFolder(); }

}  // namespace nimbra::ui
