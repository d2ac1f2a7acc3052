#pragma once

// The open panel for "Locate Rhino…": folders to look through and
// application folders to choose. An application is chosen as a whole, never
// opened like a folder; nothing else can be chosen.

#include <QFileDialog>
#include <optional>
#include <string>
#include <vector>

namespace nimbra::ui {

class ApplicationPicker : public QFileDialog {
 public:
  // extensions: what a chooseable folder's name ends in, such as "app".
  ApplicationPicker(QWidget* window, const QString& prompt, const QString& start, std::vector<std::string> extensions);
  std::optional<QString> chosen() const { return chosen_; }

  // Whether path names a folder this panel would choose.
  bool choosable(const QString& path) const;

 public:
  void accept() override;

 private:
  std::vector<std::string> extensions_;
  std::optional<QString> chosen_;
};

}  // namespace nimbra::ui
