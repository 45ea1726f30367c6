#include "gui/GuiServices.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace harmolin::gui {

GuiServices::GuiServices(bool testMode) : testMode_(testMode) {}

bool GuiServices::testModeFromEnvironment() {
    const char* v = std::getenv("HARMOLIN_GUI_TEST");
    return v && *v && std::string(v) != "0";
}

void GuiServices::message(const QString& text, QWidget* parent) {
    if (testMode_) {
        std::fprintf(stderr, "harmolin-gui: %s\n", text.toUtf8().constData());
        std::lock_guard<std::mutex> lock(mutex_);
        messages_ << text;
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        // A box belongs to the window's thread; the reporting thread goes on.
        QPointer<QWidget> guard(parent);
        QMetaObject::invokeMethod(
            app, [text, guard] { show(text, guard.data()); }, Qt::QueuedConnection);
        return;
    }
    show(text, parent);
}

void GuiServices::show(const QString& text, QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Harmolin"), text, QMessageBox::Ok, parent);
    box.exec();
}

QString GuiServices::chooseFile(QWidget* parent, FileRequest& request) {
    if (chooser_) return chooser_(parent, request);
    if (testMode_) return {}; // nobody to ask: cancelled
    QString chosen = request.selectedFilter;
    const QString path =
        request.save
            ? QFileDialog::getSaveFileName(parent, request.caption, request.folder, request.filter, &chosen)
            : QFileDialog::getOpenFileName(parent, request.caption, request.folder, request.filter, &chosen);
    request.selectedFilter = chosen;
    return path;
}

int GuiServices::runDialog(QDialog& dialog) {
    if (runner_) return runner_(dialog);
    if (testMode_) return QDialog::Rejected;
    return dialog.exec();
}

QStringList GuiServices::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void GuiServices::clearMessages() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

} // namespace harmolin::gui
