#pragma once

// The colours a backend paints its own parts in (controls, the focus ring,
// the alert sheet and its button), given to it by the application: the
// toolkit chooses no colour of its own.

#include <string>

#include "app/toolkit/geometry.h"

namespace nimbra::ui {

class Button;

struct Theme {
  Color paper;    // behind everything
  Color surface;  // controls and panels
  Color outline;  // their borders
  Color ink;      // text, and the focus ring
  Color muted;    // secondary text, an empty check box's border
  Color accent;   // what is chosen or primary

  // The one push-button look: primary (accent) or secondary (surface, outline).
  void stylePushButton(Button& button, const std::string& title, bool primary) const;
};

}  // namespace nimbra::ui
