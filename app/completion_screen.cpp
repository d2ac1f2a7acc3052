#include "app/completion_screen.h"

#include "app/celebration_view.h"
#include "app/visual_kit.h"

namespace nimbra::ui {

namespace {

std::shared_ptr<Label> centred(std::shared_ptr<Label> label) {
  label->setAlignment(Alignment::center);
  return label;
}

}  // namespace

CompletionScreen::CompletionScreen(Toolkit& toolkit, Window& window, const std::string& versions, bool hasBackup,
                                   Actions actions)
    : toolkit_(toolkit), actions_(std::move(actions)), shownAt_(toolkit.now()) {
  const std::shared_ptr<View> content = window.content();
  for (const auto& view : content->subviews()) {
    if (view->kind() != View::Kind::drawing) view->setHidden(true);
  }
  auto panel = make<View>();
  place(panel, *content, {252, 0, 648, 650});
  logo(toolkit, *panel, {276, 470, 96, 96});
  place(centred(label("INSTALLATION COMPLETE", 10, Weight::semibold, palette::forest)), *panel, {64, 422, 520, 22});
  auto heading = centred(label("You're ready.", 38, Weight::semibold, palette::ink));
  heading->setRole(Role::heading);
  place(heading, *panel, {44, 360, 560, 58});
  place(centred(label("Nimbra is installed for " + versions + ".", 14, Weight::regular, palette::muted)), *panel,
        {50, 317, 548, 40});

  auto card = make<View>();
  card->setFrame({72, 168, 504, 118});
  card->setLayer({.background = palette::surface, .cornerRadius = 16});
  place(label("Your next step", 13, Weight::semibold, palette::ink), *card, {24, 70, 440, 26});
  place(label("Open Rhino, launch Grasshopper, and select the Nimbra tab.", 13, Weight::regular, palette::muted), *card,
        {24, 24, 450, 42});
  panel->addSubview(card);

  auto done = pushButton("Done", true, [this] {
    if (toolkit_.now() - shownAt_ >= kDoneGrace) actions_.done();
  });
  done->setKeyEquivalent("\r");
  place(done, *panel, {344, 78, 232, 48});
  auto viewBackup = pushButton("View backup", false, [this] { actions_.viewBackup(); });
  viewBackup->setEnabled(hasBackup);
  place(viewBackup, *panel, {72, 78, 232, 48});
  note_ = centred(label("", 11, Weight::regular, palette::muted));
  note_->setHidden(true);
  place(note_, *panel, {72, 40, 504, 22});
  window.makeFirstResponder(done.get());

  auto overlay = make<CelebrationView>();
  place(overlay, *content, content->bounds());
  overlay->start(toolkit);
}

void CompletionScreen::showRhinoLeftClosed(const std::string& text) {
  note_->setText(text);
  note_->setHidden(false);
}

}  // namespace nimbra::ui
