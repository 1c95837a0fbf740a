#include "app/widgets.h"

#include <QSignalBlocker>

#include "app/gui_hooks.h"

namespace qm::gui {

void ShowCombo(QComboBox* combo, const ComboState& state) {
  const QSignalBlocker block(combo);
  combo->clear();
  for (const std::string& e : state.entries) combo->addItem(Text(e));
  combo->setCurrentIndex(state.selected < combo->count() ? state.selected : -1);
}

void FillList(QListWidget* list, const std::vector<std::string>& entries) {
  const QSignalBlocker block(list);
  list->clear();
  for (const std::string& e : entries) list->addItem(Text(e));
}

void SelectRow(QListWidget* list, int row) {
  const QSignalBlocker block(list);
  list->clearSelection();
  if (row >= 0 && row < list->count()) {
    list->setCurrentRow(row);
    list->item(row)->setSelected(true);
  } else {
    list->setCurrentRow(-1);
  }
}

int SelectedRow(const QListWidget* list) {
  const QList<QListWidgetItem*> items = list->selectedItems();
  return items.isEmpty() ? -1 : list->row(items.front());
}

void MakeDigitsOnly(QLineEdit* edit) {
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}

void BoxSink::ShowMessage(std::string_view text, std::string_view cause) { gui::ShowMessage(parent_, text, cause); }

void BoxSink::Warn(std::string_view text) {
  if (warnings_) return warnings_->Warn(text);
  std::fprintf(stderr, "Warning: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace qm::gui
