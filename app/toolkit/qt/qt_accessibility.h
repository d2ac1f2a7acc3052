#pragma once

// Makes Qt's accessibility see each mirrored widget as what its view says it
// is: role, name, state and action, for every view alike. Hidden widgets
// leave the tree.

namespace nimbra::ui {

// Once, before the first window is shown.
void installAccessibility();

}  // namespace nimbra::ui
