#include "app/welcome_screen.h"

#include "app/install_flow.h"
#include "app/visual_kit.h"

namespace nimbra::ui {

namespace {

constexpr Color kSelectedCard{0.07, 0.17, 0.30, 1.0};

void lookSelected(Button& card, bool selected) {
  LayerLook look = card.layer();
  look.border = selected ? palette::forest : palette::outline;
  look.background = selected ? kSelectedCard : palette::surface;
  card.setLayer(look);
  card.setOn(selected);  // read out as the selected option
}

}  // namespace

WelcomeScreen::WelcomeScreen(Toolkit& toolkit, Window& window, Actions actions)
    : window_(window), actions_(std::move(actions)), list_(make<View>(), [this] { apply(); }) {
  build(toolkit, *window.content());
  apply();
}

void WelcomeScreen::build(Toolkit& toolkit, View& content) {
  auto artwork = make<Artwork>();
  artwork->setLayer({.clips = true});
  place(artwork, content, {0, 0, 252, 650});
  logo(toolkit, *artwork, {32, 517, 76, 76});
  place(label("NIMBRA", 22, Weight::semibold, palette::white), *artwork, {32, 468, 190, 32});
  place(label("Explore.\nSelect.\nEvolve.", 31, Weight::light, palette::white), *artwork, {31, 205, 190, 132});
  place(label("FOR RHINO 7 & 8", 10, Weight::medium, palette::white.withAlpha(0.7)), *artwork, {33, 61, 190, 20});
  place(label("macOS · Intel & Apple Silicon", 10, Weight::regular, palette::white.withAlpha(0.6)), *artwork,
        {33, 38, 200, 20});

  heading_ = label("Install Nimbra", 31, Weight::semibold, palette::ink);
  heading_->setRole(Role::heading);
  place(heading_, content, {292, 547, 550, 48});
  subtitle_ = label("A new perspective for Rhino 7 and 8.", 13, Weight::regular, palette::muted);
  place(subtitle_, content, {294, 511, 550, 34});
  automaticCard_ = option(content, "Install automatically", "Find Rhino and take care of the rest.",
                          {294, 411, 270, 83}, true);
  customCard_ = option(content, "Choose installation", "Choose versions and locations.", {580, 411, 270, 83}, false);
  auto listHeading = label("RHINO ON THIS MAC", 10, Weight::semibold, palette::muted);
  listHeading->setRole(Role::heading);
  place(listHeading, content, {294, 385, 400, 18});
  place(list_.area(), content, {294, 241, 556, 145});

  locate_ = pushButton("Locate Rhino…", false, [this] { actions_.locate(); });
  place(locate_, content, {290, 209, 128, 29});
  searchAgain_ = pushButton("Search again", false, [this] { actions_.searchAgain(); });
  place(searchAgain_, content, {423, 209, 115, 29});

  openRhino_ = make<Button>(Button::Style::checkbox, "Open Rhino after installation");
  openRhino_->setFont({12, Weight::regular});
  openRhino_->setOn(true);
  place(openRhino_, content, {294, 174, 410, 25});
  place(label("Rhino will ask you to save any open work before it closes.\n"
              "Existing Nimbra files will be backed up automatically.",
              11, Weight::regular, palette::muted),
        content, {294, 123, 555, 43});
  status_ = label(sentence::kLookingForRhino, 11, Weight::regular, palette::muted);
  place(status_, content, {294, 65, 330, 44});
  progress_ = make<ProgressBar>();
  progress_->setAccessibilityLabel("Progress");
  place(progress_, content, {294, 115, 556, 3});

  install_ = pushButton("Install Nimbra  →", true, [this] { actions_.install(); });
  install_->setKeyEquivalent("\r");
  place(install_, content, {662, 52, 188, 46});
  cancel_ = make<Button>(Button::Style::inline_, "Cancel");
  cancel_->setHidden(true);
  cancel_->setKeyEquivalent("\x1b");
  cancel_->setAction([this] { actions_.cancel(); });
  place(cancel_, content, {570, 60, 75, 30});
}

std::shared_ptr<Button> WelcomeScreen::option(View& content, const std::string& title, const std::string& sub,
                                              const Rect& frame, bool automatic) {
  auto card = make<Button>(Button::Style::card, "");
  card->setInsetTitle(true);
  card->setAction([this, automatic] { selectMode(automatic); });
  card->setBordered(false);
  card->setLayer({.borderWidth = 1, .cornerRadius = 14});
  card->setAttributedTitle({TextRun{title + "\n", {13, Weight::semibold}, palette::ink},
                            TextRun{sub, {10, Weight::regular}, palette::muted}});
  card->setAccessibilityLabel(title);
  card->setAccessibleDescription(sub);
  place(card, content, frame);
  return card;
}

void WelcomeScreen::setStatus(const std::string& text, Window::Urgency urgency) {
  status_->setText(text);
  progress_->setAccessibleDescription(text);  // the phase the bar stands for
  window_.announce(text, urgency);
}

void WelcomeScreen::showTargets(const std::vector<RhinoTarget>& targets) {
  lookSelected(*automaticCard_, automatic_);
  lookSelected(*customCard_, !automatic_);
  list_.show(targets, !automatic_ && !busy_);
  apply();
}

void WelcomeScreen::selectMode(bool automatic) {
  automatic_ = automatic;
  const std::vector<RhinoTarget> listed = list_.targets();
  showTargets(listed);  // every Rhino checked again
}

void WelcomeScreen::chooseByHand() { automatic_ = false; }

void WelcomeScreen::setBusy(bool busy) {
  busy_ = busy;
  apply();
  window_.makeFirstResponder(busy ? progress_.get() : nullptr);
}

void WelcomeScreen::setUnavailable() {
  available_ = false;
  apply();
}

void WelcomeScreen::setWaiting(bool waiting) {
  cancel_->setHidden(!waiting);
  if (busy_) window_.makeFirstResponder(waiting ? static_cast<View*>(cancel_.get()) : progress_.get());
}

void WelcomeScreen::showInstalled(const std::string& versions) {
  installed_ = true;
  heading_->setText("Nimbra is installed.");
  subtitle_->setText("Open Grasshopper and select the Nimbra tab.");
  setStatus("Installed for " + versions);
  install_->setAttributedTitle({TextRun{"View backup", {13, Weight::semibold}, palette::white}});
  apply();
}

void WelcomeScreen::apply() {
  const bool choosing = !busy_ && !installed_;
  for (const auto& control : {automaticCard_, customCard_, openRhino_}) control->setEnabled(choosing);
  for (const auto& control : {locate_, searchAgain_}) control->setEnabled(choosing && available_);
  list_.setChoosable(choosing && !automatic_);
  install_->setEnabled(installed_ ||
                       (!busy_ && available_ && !list_.empty() && (automatic_ || list_.anyChecked())));
  LayerLook look = install_->layer();
  look.background = install_->enabled() ? palette::forest : palette::surface;
  install_->setLayer(look);
  progress_->setHidden(!busy_);
  progress_->setAnimating(busy_);
}

}  // namespace nimbra::ui
