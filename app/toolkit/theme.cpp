#include "app/toolkit/theme.h"

#include "app/toolkit/view.h"

namespace nimbra::ui {

void Theme::stylePushButton(Button& button, const std::string& title, bool primary) const {
  button.setTitle(title);
  button.setBordered(false);
  button.setLayer({.background = primary ? accent : surface,
                   .border = primary ? accent : outline,
                   .borderWidth = 1,
                   .cornerRadius = 11});
  button.setAttributedTitle({TextRun{title, {12, Weight::semibold}, ink}});
  button.setAccessibilityLabel(title);
}

}  // namespace nimbra::ui
