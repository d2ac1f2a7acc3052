#pragma once

// Makes Qt's accessibility see each mirrored widget as what its view says it
// is. The progress bar, the labels and the push buttons are Qt's own (a
// value; a text and the control it labels; a press that clicks a moment after
// the call returns). Headings, check boxes and the option cards are ours: Qt
// has no heading label, and its toggle action sets a check box or radio
// button without the click that the view's press hangs on, so the next redraw
// would set it back. Hidden widgets leave the tree.

#include <QWidget>

namespace nimbra::ui {

// Once, before the first window is shown.
void installAccessibility();

// One text told to a screen reader without moving the focus. Qt 6.4 carries
// no announcement to AT-SPI and no live region; what screen readers do read
// out wherever the focus is, is a notification or an alert being shown. So
// this is an empty child of the window that is a notification (polite) or an
// alert (assertive) named by the text, shown once made. Each text is an
// object of its own: a reader that keeps names it has read would read an
// earlier text again from one object renamed.
class Announcement : public QWidget {
 public:
  Announcement(QWidget* window, const QString& text, bool assertive);
  bool assertive() const { return assertive_; }

 private:
  bool assertive_;
};

}  // namespace nimbra::ui
