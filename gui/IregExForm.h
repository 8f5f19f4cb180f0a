// TIregExForm: the progress window of the initial-game extraction ("Extracting
// INITGAME.DAT..."). A fixed 283 x 167 dialog, centred on the desktop, without title-bar
// buttons; three progress lines that repaint while the extraction lets pending events run.
// The start sequence shows it around the extraction; its hidden "Go" button runs the
// extraction on its own fields (Edit1, OutDir). Main thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <string>

#include "world/IregExtract.h"

namespace zq {

class TIregExForm : public QDialog, public IExtractProgress {
 public:
  TIregExForm();

  // IExtractProgress: label 1, 2 or 3; other numbers are ignored.
  void SetLabel(int label, const std::string& text) override;
  void ProcessEvents() override;

  // Prepares a run: the game directory (Edit1), the target directory, Button1 disabled.
  void Prepare(const std::string& gameDirectory, const std::string& outDir);
  // Shows the window in the middle of the desktop and lets it paint.
  void ShowCentred();
  // The extraction on Edit1's directory into OutDir; raises EInOutError like ExtractInitGame.
  void Button1Click();

  std::string OutDir;
  // How often the window was shown (tests: it appears on the first start only).
  int TimesShown() const { return timesShown_; }
  QString LabelText(int label) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Label 1, 2 or 3; null for other numbers.
  QLabel* LabelAt(int label) const;

  QLineEdit edit1_;
  QPushButton button1_;
  QLabel label1_;
  QLabel label2_;
  QLabel label3_;
  QLabel label4_;
  std::array<QLabel*, 3> labels_;
  int timesShown_ = 0;
};

}  // namespace zq
