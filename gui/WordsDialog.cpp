#include "gui/WordsDialog.h"

#include "app/WordsPipeline.h"
#include "base/TextCodec.h"
#include "gui/GuiServices.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace harmolin::gui {

namespace {

QString linesText(const std::vector<WordsLine>& lines) {
    QStringList out;
    for (const WordsLine& line : lines)
        out << QString::fromStdString(cp932ToUtf8(line.written));
    return out.join(QLatin1Char('\n'));
}

} // namespace

WordsDialog::WordsDialog(const QString& text, GuiServices& services, const QString& folder, QWidget* parent)
    : QDialog(parent), services_(services), folder_(folder) {
    setWindowTitle(QStringLiteral("Words"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("One line for each sung phrase, a blank line between verses:"), this));
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(QStringLiteral("words"));
    editor_->setPlainText(text);
    editor_->setMinimumSize(320, 240);
    layout->addWidget(editor_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    open_ = buttons->addButton(QStringLiteral("Open…"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(open_, &QPushButton::clicked, this, &WordsDialog::openFile);
    connect(buttons, &QDialogButtonBox::accepted, this, &WordsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &WordsDialog::reject);
}

QString WordsDialog::text() const {
    return editor_->toPlainText();
}

void WordsDialog::openFile() {
    FileRequest request;
    request.caption = QStringLiteral("Open words");
    request.folder = folder_;
    request.filter = QStringLiteral("Text files (*.txt);;All files (*)");
    request.selectedFilter = QStringLiteral("Text files (*.txt)");
    const QString path = services_.chooseFile(this, request);
    if (path.isEmpty()) return;
    const WordsText words = readWordsFile(path.toStdString());
    if (!words.error.empty()) {
        services_.message(QString::fromStdString(words.error), this);
        return;
    }
    editor_->setPlainText(linesText(words.lines));
}

void WordsDialog::accept() {
    const QByteArray utf8 = text().toUtf8();
    WordsText words = parseWords(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (!words.error.empty()) {
        services_.message(QString::fromStdString(words.error), this);
        return;
    }
    lines_ = std::move(words.lines);
    QDialog::accept();
}

} // namespace harmolin::gui
