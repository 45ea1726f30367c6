// Saves pictures of the window for people to look at: the window after
// Generate, the figure of each dance set (with the lyric ticker), and the two
// dialogs. Usage: harmolin_gui_screenshots OUTPUT_FOLDER
#include "app/Settings.h"
#include "app/WorkingFolder.h"
#include "base/TextCodec.h"
#include "gui/FigureView.h"
#include "gui/LoadDialog.h"
#include "gui/MainWindow.h"
#include "gui/PictureButton.h"
#include "gui/SettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

using namespace harmolin;
using namespace harmolin::gui;

namespace {

bool save(QWidget& widget, const QString& file) {
    const bool ok = widget.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", file.toUtf8().constData());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: harmolin_gui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir work;
    SettingsRecord record = SettingsRecord::defaults();
    record.delayCorrection = 0; // no measurement needed for pictures
    record.showLyrics = 1;
    if (!storeSettings(joinPath(work.path().toStdString(), kSettingsFileName), record))
        qWarning("the settings for the pictures could not be written");

    WindowOptions options;
    options.workingFolder = work.path();
    options.seed = 11;
    options.testMode = true;
    options.liveAudio = false;
    MainWindow window(options);
    window.show();
    window.startUp();
    window.generateSong();
    QApplication::processEvents();
    bool ok = save(window, out + QStringLiteral("/window-generated.png"));

    const char* lyric = "さくら　さいた";
    for (int set = 0; set < kDanceSets; ++set) {
        window.songTypeCombo()->setCurrentIndex(set);
        DanceFigure& figure = window.figure();
        figure.makeDance(6, true);
        for (int step = 0; step <= set; ++step)
            figure.danceStep();
        figure.addLyric(utf8ToCp932(lyric).value_or(std::string()));
        window.figureView()->refresh();
        QApplication::processEvents();
        ok = save(*window.figureView(),
                  out + QStringLiteral("/figure-%1.png").arg(QString::fromLatin1(danceSet(set).name))) &&
             ok;
    }
    window.songTypeCombo()->setCurrentIndex(0);
    window.figure().setPose(kStartPose);
    window.figureView()->refresh();
    ok = save(window, out + QStringLiteral("/window-start-pose.png")) && ok;

    // How the window looks while a song is prepared: the other commands
    // greyed, Play turned into Stop.
    for (auto c : {MainWindow::Configuration, MainWindow::Save, MainWindow::Generate, MainWindow::Load,
                   MainWindow::PlayStop})
        window.button(c)->setEnabled(false);
    window.button(MainWindow::PlayStop)->setCaption(MainWindow::kStopCaption);
    QApplication::processEvents();
    ok = save(window, out + QStringLiteral("/window-preparing.png")) && ok;
    for (auto c : {MainWindow::Configuration, MainWindow::Save, MainWindow::Generate, MainWindow::Load,
                   MainWindow::PlayStop})
        window.button(c)->setEnabled(true);
    window.button(MainWindow::PlayStop)->setCaption(MainWindow::kPlayCaption);

    SettingsRecord shown = window.settings();
    SettingsDialog settings(shown, window.services(), nullptr, &window);
    settings.show();
    QApplication::processEvents();
    ok = save(settings, out + QStringLiteral("/settings-dialog.png")) && ok;
    settings.hide();

    LoadDialog load("", {1, 2, 4, 11}, &window);
    load.show();
    QApplication::processEvents();
    ok = save(load, out + QStringLiteral("/load-dialog.png")) && ok;
    load.hide();
    return ok ? 0 : 1;
}
