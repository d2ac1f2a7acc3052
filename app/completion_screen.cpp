// The completion screen, laid over the welcome screen (which stays, hidden),
// with the celebration on top.

#include "app/celebration_view.h"
#include "app/installer_app.h"
#include "app/visual_kit.h"

namespace nimbra::ui {

namespace {

std::shared_ptr<Label> centred(std::shared_ptr<Label> label) {
  label->setAlignment(Alignment::center);
  return label;
}

}  // namespace

void InstallerApp::showCompletion(const std::string& versions) {
  for (const auto& view : content->subviews()) {
    if (view->kind() != View::Kind::drawing) view->setHidden(true);
  }
  completionShownAt_ = toolkit_.now();
  auto panel = make<View>();
  place(panel, *content, {252, 0, 648, 650});
  logo(toolkit_, *panel, {276, 470, 96, 96});
  place(centred(label("INSTALLATION COMPLETE", 10, Weight::semibold, palette::forest)), *panel, {64, 422, 520, 22});
  place(centred(label("You're ready.", 38, Weight::semibold, palette::ink)), *panel, {44, 360, 560, 58});
  completionMessage = centred(label("Nimbra is installed for " + versions + ".", 14, Weight::regular, palette::muted));
  place(completionMessage, *panel, {50, 317, 548, 40});

  auto card = make<View>();
  card->setFrame({72, 168, 504, 118});
  card->setLayer({.background = palette::surface, .cornerRadius = 16});
  place(label("Your next step", 13, Weight::semibold, palette::ink), *card, {24, 70, 440, 26});
  place(label("Open Rhino, launch Grasshopper, and select the Nimbra tab.", 13, Weight::regular, palette::muted), *card,
        {24, 24, 450, 42});
  panel->addSubview(card);

  doneButton = make<Button>(Button::Style::push, "Done");
  doneButton->setAction([this] { finish(); });
  styleButton(*doneButton, "Done", true);
  doneButton->setKeyEquivalent("\r");
  place(doneButton, *panel, {344, 78, 232, 48});
  viewBackupButton = make<Button>(Button::Style::push, "View backup");
  viewBackupButton->setAction([this] { viewBackup(); });
  styleButton(*viewBackupButton, "View backup", false);
  viewBackupButton->setEnabled(completedBackup.has_value());
  place(viewBackupButton, *panel, {72, 78, 232, 48});
  completionNote = centred(label("", 11, Weight::regular, palette::muted));
  completionNote->setHidden(true);
  place(completionNote, *panel, {72, 40, 504, 22});
  window->makeFirstResponder(doneButton.get());

  auto overlay = make<CelebrationView>();
  place(overlay, *content, content->bounds());
  celebration = overlay;
  overlay->start(toolkit_);
}

}  // namespace nimbra::ui
