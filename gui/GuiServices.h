// How the window talks to the user: messages, file choosers and modal
// dialogs. A program run shows real modal boxes; a test (or a run with
// HARMOLIN_GUI_TEST in the environment) collects the messages instead and
// lets a driver answer the dialogs, so nothing waits for a person.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

class QDialog;
class QWidget;

namespace harmolin::gui {

struct FileRequest {
    QString caption;
    QString folder;
    QString filter;         // Qt form: "XF midi files (*.mid);;Text files (*.txt)"
    QString selectedFilter; // in: the first choice; out: the filter the user took
    bool save = false;
};

class GuiServices {
  public:
    // Chooses a file; an empty string when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, FileRequest& request)>;
    // Runs a modal dialog and returns its result code.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    // Modal boxes when testMode is false; collected lines otherwise.
    explicit GuiServices(bool testMode);

    [[nodiscard]] bool testMode() const { return testMode_; }

    // Shows (or collects) one message. Any thread: a message from another
    // thread is shown later on the window's thread.
    void message(const QString& text, QWidget* parent = nullptr);
    [[nodiscard]] QString chooseFile(QWidget* parent, FileRequest& request);
    [[nodiscard]] int runDialog(QDialog& dialog);

    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    void setDialogRunner(DialogRunner runner) { runner_ = std::move(runner); }

    // The collected messages (test mode).
    [[nodiscard]] QStringList messages() const;
    void clearMessages();

    // Whether HARMOLIN_GUI_TEST is set in the environment.
    [[nodiscard]] static bool testModeFromEnvironment();

  private:
    static void show(const QString& text, QWidget* parent);

    bool testMode_;
    FileChooser chooser_;
    DialogRunner runner_;
    mutable std::mutex mutex_;
    QStringList messages_;
};

} // namespace harmolin::gui
