#include "app/target_list.h"

#include <algorithm>

#include "app/install_flow.h"
#include "app/visual_kit.h"
#include "engine/locations.h"

namespace nimbra::ui {

TargetList::TargetList(std::shared_ptr<View> area, std::function<void()> changed)
    : area_(std::move(area)), changed_(std::move(changed)) {}

void TargetList::show(const std::vector<RhinoTarget>& targets, bool choosable) {
  area_->removeAllSubviews();
  boxes_.clear();
  targets_ = targets;
  if (targets.empty()) {
    place(label(sentence::kNoRhino, 15, Weight::medium, palette::ink), *area_, {0, 90, 545, 30});
    place(label("Install Rhino, or use Locate Rhino to select its application.", 12, Weight::regular, palette::muted),
          *area_, {0, 47, 545, 40});
  }
  for (std::size_t i = 0; i < targets.size(); ++i) addRow(i, targets[i], choosable);
}

void TargetList::addRow(std::size_t index, const RhinoTarget& target, bool choosable) {
  const double rowY = 96 - 70 * static_cast<double>(index);
  const std::string name = "Rhino " + std::to_string(target.major);
  auto card = make<View>();
  card->setLayer({.background = palette::surface, .cornerRadius = 12});
  place(card, *area_, {0, rowY - 14, 556, 64});

  auto box = make<Button>(Button::Style::checkbox, "");
  box->setFont({14, Weight::medium});
  box->setOn(true);
  box->setEnabled(choosable);
  box->setAction([this] { changed_(); });
  place(box, *area_, {15, rowY + 13, 24, 24});
  boxes_.push_back(box);

  auto title = label(name, 14, Weight::medium, palette::ink);
  title->setLabelFor(box);
  place(title, *area_, {41, rowY + 13, 300, 24});
  place(label("Detected", 10, Weight::regular, palette::forest), *area_, {474, rowY + 13, 70, 20});
  auto where = label(pathText(target.application), 10, Weight::regular, palette::muted);
  where->setLineBreak(LineBreak::truncateMiddle, 1);
  where->setToolTip("Install to: " + pathText(target.destination()));
  place(where, *area_, {41, rowY - 7, 500, 22});
}

void TargetList::setChoosable(bool choosable) {
  for (const auto& box : boxes_) box->setEnabled(choosable);
}

bool TargetList::anyChecked() const {
  return std::any_of(boxes_.begin(), boxes_.end(), [](const auto& box) { return box->on(); });
}

std::vector<RhinoTarget> TargetList::checked() const {
  std::vector<RhinoTarget> checked;
  for (std::size_t i = 0; i < targets_.size() && i < boxes_.size(); ++i) {
    if (boxes_[i]->on()) checked.push_back(targets_[i]);
  }
  return checked;
}

}  // namespace nimbra::ui
