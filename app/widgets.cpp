#include "app/widgets.h"

#include <QSignalBlocker>

#include "app/gui_hooks.h"

namespace qm::gui {

namespace {

// Length of the valid UTF-8 sequence at the start of `s`, 0 when there is none.
std::size_t Utf8Sequence(std::string_view s, char32_t& code) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  std::size_t n = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b(i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  const char32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

}  // namespace

QString Text(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  while (!bytes.empty()) {
    char32_t code = 0;
    std::size_t n = Utf8Sequence(bytes, code);
    if (n == 0) {
      code = 0xDC00 + static_cast<unsigned char>(bytes[0]);  // an escaped byte
      n = 1;
    }
    if (code >= 0x10000) {
      text += QChar(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      text += QChar(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      text += QChar(static_cast<char16_t>(code));
    }
    bytes.remove_prefix(n);
  }
  return text;
}

std::string Bytes(const QString& text) {
  std::string bytes;
  const auto put = [&](char32_t c) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      put(QChar::surrogateToUcs4(u, text[++i].unicode()));
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      bytes += static_cast<char>(u - 0xDC00);  // an escaped byte
    } else if (QChar::isSurrogate(u)) {
      put(0xFFFD);
    } else {
      put(u);
    }
  }
  return bytes;
}

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
