#include "app/AboutVEXDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

namespace qm::gui {

CAboutVEXDlg::CAboutVEXDlg(std::function<void()> toggleHiddenButtons, QWidget* parent)
    : QDialog(parent), toggle_(std::move(toggleHiddenButtons)) {
  setObjectName(QString::number(kDialog));
  setWindowTitle(QStringLiteral("About"));
  auto* layout = new QHBoxLayout(this);
  auto* picture = new QLabel(this);
  picture->setObjectName(QString::number(kPicture));
  picture->setPixmap(QPixmap(QStringLiteral(":/quillmark/about.png")));
  layout->addWidget(picture);
  auto* notice = new QLabel(
      QStringLiteral("Quillmark v1.0.3\n\nRaster image processor for multi-ink inkjet printers.\n"
                     "Separates, halftones and packs artwork into printer files."),
      this);
  layout->addWidget(notice);
}

void CAboutVEXDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (toggle_) toggle_();
  event->accept();
}

}  // namespace qm::gui
