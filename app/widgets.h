// Small widgets and helpers shared by the dialogs.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpressionValidator>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

#include "platform/message_sink.h"
#include "settings/setting_form.h"

namespace qm::gui {

// A combo that announces its drop-down before the list opens, so its owner
// can refill it first.
class DropDownCombo : public QComboBox {
  Q_OBJECT
 public:
  explicit DropDownCombo(QWidget* parent = nullptr) : QComboBox(parent) {}
  void showPopup() override {
    emit dropDown();
    QComboBox::showPopup();
  }
 signals:
  void dropDown();
};

// File and folder names are bytes; the windows show them as text. Text()
// decodes UTF-8 and keeps every byte that is no part of valid UTF-8 as the
// lone code unit U+DC80 + byte ("surrogate escape"), which Bytes() turns
// back into that byte: every name maps back to the same bytes. (Qt's own
// file-name codec is UTF-8 on Linux and replaces such bytes by U+FFFD.)
QString Text(std::string_view bytes);
std::string Bytes(const QString& text);

// Shows `state` in `combo` (entries and selection), without notifications.
void ShowCombo(QComboBox* combo, const ComboState& state);
// Fills a list with `entries`, without notifications; no selection.
void FillList(QListWidget* list, const std::vector<std::string>& entries);
// Selects a row (-1: none) without notifications.
void SelectRow(QListWidget* list, int row);
int SelectedRow(const QListWidget* list);

// An edit that accepts digits alone when typed.
void MakeDigitsOnly(QLineEdit* edit);

// Message boxes of a dialog, for engine calls that take a MessageSink.
// Warnings are never boxes: they go to `warnings` when given (the main
// window), else to standard error.
class BoxSink : public MessageSink {
 public:
  explicit BoxSink(QWidget* parent, MessageSink* warnings = nullptr) : parent_(parent), warnings_(warnings) {}
  void ShowMessage(std::string_view text, std::string_view cause = {}) override;
  void Warn(std::string_view text) override;

 private:
  QWidget* parent_;
  MessageSink* warnings_;
};

}  // namespace qm::gui
