// "Words": the person's own words, pasted or opened from a text file, for
// the next Generate or Load to sing instead of lyrics of the program's.
#pragma once

#include "lyrics/WordsFitting.h"

#include <QDialog>

#include <vector>

class QPlainTextEdit;
class QPushButton;

namespace harmolin::gui {

class GuiServices;

class WordsDialog : public QDialog {
    Q_OBJECT
  public:
    WordsDialog(const QString& text, GuiServices& services, const QString& folder, QWidget* parent = nullptr);

    [[nodiscard]] QPlainTextEdit* editor() const { return editor_; }
    [[nodiscard]] QPushButton* openButton() const { return open_; }
    [[nodiscard]] QString text() const;
    // The lines of the accepted text.
    [[nodiscard]] const std::vector<WordsLine>& lines() const { return lines_; }

    // Reads a words file (UTF-8 or Shift-JIS) into the editor; a file that
    // is not one is shown in a message and the editor keeps its text.
    void openFile();
    // Takes the text only when it has words to sing; else says why and stays.
    void accept() override;

  private:
    GuiServices& services_;
    QString folder_;
    QPlainTextEdit* editor_ = nullptr;
    QPushButton* open_ = nullptr;
    std::vector<WordsLine> lines_;
};

} // namespace harmolin::gui
