// Message maps: each dialog keeps one table that maps (control ID, event) to
// its handler, and wires it here. A control's object name is its numeric ID.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QWidget>

#include <span>

#include "app/widgets.h"

namespace qm::gui {

enum class Notify {
  Clicked,    // a button was clicked
  SelChange,  // the operator changed a list's or combo's selection
  DblClk,     // a list was double-clicked
  DropDown,   // a combo's list is about to drop down
};

template <class Dlg>
struct MessageEntry {
  int id;
  Notify notify;
  void (Dlg::*handler)();
};

// The child of `dlg` whose object name is `id`.
template <class W = QWidget>
W* Control(const QWidget* dlg, int id) {
  return dlg->findChild<W*>(QString::number(id));
}

// Connects every entry of `map`. A missing control or a control of the wrong
// kind is a programming error, caught by the message-map tests.
template <class Dlg>
bool ConnectMessageMap(Dlg* dlg, std::span<const MessageEntry<Dlg>> map) {
  bool ok = true;
  for (const MessageEntry<Dlg>& e : map) {
    QWidget* w = Control(dlg, e.id);
    const auto handler = e.handler;
    auto call = [dlg, handler] { (dlg->*handler)(); };
    bool wired = false;
    switch (e.notify) {
      case Notify::Clicked:
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
          QObject::connect(b, &QAbstractButton::clicked, dlg, call);
          wired = true;
        }
        break;
      case Notify::SelChange:
        if (auto* l = qobject_cast<QListWidget*>(w)) {
          QObject::connect(l, &QListWidget::itemSelectionChanged, dlg, call);
          wired = true;
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
          QObject::connect(c, &QComboBox::activated, dlg, call);
          wired = true;
        }
        break;
      case Notify::DblClk:
        if (auto* l = qobject_cast<QListWidget*>(w)) {
          QObject::connect(l, &QListWidget::itemDoubleClicked, dlg, call);
          wired = true;
        }
        break;
      case Notify::DropDown:
        if (auto* c = qobject_cast<DropDownCombo*>(w)) {
          QObject::connect(c, &DropDownCombo::dropDown, dlg, call);
          wired = true;
        }
        break;
    }
    ok = ok && wired;
  }
  return ok;
}

}  // namespace qm::gui
