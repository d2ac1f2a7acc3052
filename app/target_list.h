#pragma once

// The Rhinos found, one row each: a check box named after the version, its
// name, and where it is (the full path in a tool tip). Or, with none, what to
// do about it.

#include <functional>
#include <memory>
#include <vector>

#include "app/toolkit/toolkit.h"
#include "engine/rhino_target.h"

namespace nimbra::ui {

class TargetList {
 public:
  // area: the view the rows fill; changed: runs when a box is checked or cleared.
  TargetList(std::shared_ptr<View> area, std::function<void()> changed);

  // Every row checked.
  void show(const std::vector<RhinoTarget>& targets, bool choosable);
  // Whether the boxes can be changed (they show as checked either way).
  void setChoosable(bool choosable);
  const std::shared_ptr<View>& area() const { return area_; }
  const std::vector<RhinoTarget>& targets() const { return targets_; }
  bool empty() const { return targets_.empty(); }
  bool anyChecked() const;
  // The listed targets whose boxes are checked.
  std::vector<RhinoTarget> checked() const;

 private:
  void addRow(std::size_t index, const RhinoTarget& target, bool choosable);

  std::shared_ptr<View> area_;
  std::function<void()> changed_;
  std::vector<RhinoTarget> targets_;
  std::vector<std::shared_ptr<Button>> boxes_;
};

}  // namespace nimbra::ui
