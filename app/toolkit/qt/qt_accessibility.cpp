#include "app/toolkit/qt/qt_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include "app/toolkit/qt/qt_mirror.h"
#include "app/toolkit/qt/qt_widgets.h"

namespace nimbra::ui {

namespace {

QAccessible::Role qtRole(Role role) {
  switch (role) {
    case Role::label: return QAccessible::StaticText;
    case Role::heading: return QAccessible::Heading;
    case Role::pushButton: return QAccessible::Button;
    case Role::checkBox: return QAccessible::CheckBox;
    case Role::radioButton: return QAccessible::RadioButton;
    case Role::progressBar: return QAccessible::ProgressBar;
    case Role::image: return QAccessible::Graphic;
    case Role::alert: return QAccessible::AlertMessage;
    case Role::none: break;
  }
  return QAccessible::Pane;
}

// The widget's children that are shown: a hidden control is not there for a
// screen reader either.
QList<QWidget*> shownChildren(QWidget* widget) {
  QList<QWidget*> shown;
  for (QObject* child : widget->children()) {
    auto* candidate = qobject_cast<QWidget*>(child);
    if (candidate != nullptr && !candidate->isWindow() && !candidate->isHidden()) shown.append(candidate);
  }
  return shown;
}

// Any widget of ours: the children it reports are the shown ones.
class ShownChildren : public QAccessibleWidget {
 public:
  using QAccessibleWidget::QAccessibleWidget;

  int childCount() const override { return int(shownChildren(widget()).size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> children = shownChildren(widget());
    return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index]) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child == nullptr ? -1 : int(shownChildren(widget()).indexOf(qobject_cast<QWidget*>(child->object())));
  }
};

// A widget that shows a view: what the view says it is.
class ViewAccessible : public ShownChildren {
 public:
  ViewAccessible(QWidget* widget, const ViewHolder& holder) : ShownChildren(widget), holder_(holder) {}

  QAccessible::Role role() const override {
    const auto view = holder_.view();
    return view ? qtRole(view->role()) : QAccessible::Pane;
  }
  QString text(QAccessible::Text kind) const override {
    const auto view = holder_.view();
    if (!view) return {};
    if (kind == QAccessible::Name) return QString::fromStdString(view->accessibleName());
    if (kind == QAccessible::Description && !view->accessibleDescription().empty()) {
      return QString::fromStdString(view->accessibleDescription());
    }
    return ShownChildren::text(kind);
  }
  QAccessible::State state() const override {
    QAccessible::State state = ShownChildren::state();
    const auto button = pressable();
    if (!button) return state;
    state.focusable = true;
    state.disabled = !button->enabled();
    if (button->role() == Role::checkBox || button->role() == Role::radioButton) {
      state.checkable = true;
      state.checked = button->on();
    }
    if (button->role() == Role::radioButton) state.selected = button->on();
    return state;
  }
  QStringList actionNames() const override {
    const auto button = pressable();
    // A disabled control can be neither pressed nor focused: it offers neither.
    if (!button || !button->enabled()) return {};
    return {button->role() == Role::checkBox ? toggleAction() : pressAction(), setFocusAction()};
  }
  void doAction(const QString& action) override {
    const auto button = pressable();
    if (button && (action == pressAction() || action == toggleAction())) {
      // The action returns before the press runs: a press that opens a
      // dialog would otherwise hold the screen reader's call until the
      // dialog closed.
      QTimer::singleShot(0, object(), [pressed = std::weak_ptr<Button>(button)] {
        if (const auto still = pressed.lock()) still->press();
      });
      return;
    }
    ShownChildren::doAction(action);
  }

 private:
  std::shared_ptr<Button> pressable() const {
    const auto view = holder_.view();
    return view && view->kind() == View::Kind::button ? std::static_pointer_cast<Button>(view) : nullptr;
  }
  const ViewHolder& holder_;
};

class AnnouncementAccessible : public QAccessibleWidget {
 public:
  explicit AnnouncementAccessible(Announcement* said) : QAccessibleWidget(said) {}
  QAccessible::Role role() const override {
    return static_cast<const Announcement*>(widget())->assertive() ? QAccessible::AlertMessage
                                                                   : QAccessible::Notification;
  }
};

QAccessibleInterface* interfaceFor(const QString&, QObject* object) {
  if (auto* window = dynamic_cast<QtWindow*>(object)) {
    return new ShownChildren(window, QAccessible::Window, QString::fromStdString(window->model().title()));
  }
  if (auto* said = dynamic_cast<Announcement*>(object)) return new AnnouncementAccessible(said);
  if (qobject_cast<QProgressBar*>(object) != nullptr) return nullptr;  // Qt's own, with its value
  // A push button is Qt's own: its press clicks the button a moment later, so
  // the call returns before the press runs.
  if (dynamic_cast<PushButtonWidget*>(object) != nullptr) return nullptr;
  // A label is Qt's own (its text, and the control it labels), a heading ours.
  if (auto* label = dynamic_cast<LabelWidget*>(object); label != nullptr && label->view() &&
                                                        label->view()->role() != Role::heading) {
    return nullptr;
  }
  if (auto* holder = dynamic_cast<ViewHolder*>(object)) {
    if (auto* widget = dynamic_cast<QWidget*>(object)) return new ViewAccessible(widget, *holder);
  }
  return nullptr;
}

}  // namespace

void installAccessibility() { QAccessible::installFactory(interfaceFor); }

Announcement::Announcement(QWidget* window, const QString& text, bool assertive)
    : QWidget(window), assertive_(assertive) {
  setGeometry(0, 0, 0, 0);
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(text);
}

}  // namespace nimbra::ui
