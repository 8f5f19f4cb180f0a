#include "gui/IregExForm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace zq {

namespace {

constexpr int CLIENT_WIDTH = 283;
constexpr int CLIENT_HEIGHT = 167;
constexpr int LABEL_X = 32;

}  // namespace

TIregExForm::TIregExForm()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      edit1_(QStringLiteral("E:\\QUOREL7\\"), this),
      button1_(QStringLiteral("Go"), this),
      label1_(QStringLiteral(" "), this),
      label2_(QStringLiteral(" "), this),
      label3_(QStringLiteral(" "), this),
      label4_(QStringLiteral("Quorel 7 Directory"), this),
      labels_{&label1_, &label2_, &label3_} {
  setObjectName(QStringLiteral("IregExForm"));
  setWindowTitle(QStringLiteral("Extracting INITGAME.DAT..."));
  setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  edit1_.setObjectName(QStringLiteral("Edit1"));
  button1_.setObjectName(QStringLiteral("Button1"));
  label4_.setObjectName(QStringLiteral("Label4"));
  edit1_.hide();
  button1_.hide();
  label4_.hide();
  for (int i = 0; i < 3; ++i) {
    labels_[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    labels_[i]->move(LABEL_X, 16 + 16 * i);
    labels_[i]->adjustSize();
  }
  connect(&button1_, &QPushButton::clicked, this, [this] { Button1Click(); });
}

QLabel* TIregExForm::LabelAt(int label) const {
  if (label < 1 || label > static_cast<int>(labels_.size())) return nullptr;
  return labels_[static_cast<std::size_t>(label - 1)];
}

QString TIregExForm::LabelText(int label) const {
  const QLabel* target = LabelAt(label);
  return target ? target->text() : QString();
}

void TIregExForm::SetLabel(int label, const std::string& text) {
  QLabel* target = LabelAt(label);
  if (!target) return;
  target->setText(QString::fromStdString(text));
  target->adjustSize();
}

void TIregExForm::ProcessEvents() {
  QApplication::processEvents();
}

void TIregExForm::Prepare(const std::string& gameDirectory, const std::string& outDir) {
  edit1_.setText(QString::fromStdString(gameDirectory));
  OutDir = outDir;
  button1_.setEnabled(false);
}

void TIregExForm::ShowCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(CLIENT_WIDTH / 2, CLIENT_HEIGHT / 2));
  }
  show();
  ProcessEvents();
}

void TIregExForm::Button1Click() {
  button1_.setEnabled(false);
  ExtractInitGame(edit1_.text().toStdString(), OutDir, *this);
}

void TIregExForm::showEvent(QShowEvent* event) {
  ++timesShown_;
  QDialog::showEvent(event);
}

}  // namespace zq
