// The window driven as a user would: buttons pressed, dialogs answered by a
// driver, files chosen by a stand-in chooser, messages collected. Each case
// runs in a fresh working folder.
#include "app/Settings.h"
#include "app/VoiceDelayCache.h"
#include "base/ErrorCodes.h"
#include "gui/FigureView.h"
#include "gui/LoadDialog.h"
#include "gui/MainWindow.h"
#include "gui/PictureButton.h"
#include "gui/SettingsDialog.h"
#include "gui/WordsDialog.h"
#include "midi/MidiF0Data.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <memory>

using namespace harmolin;
using namespace harmolin::gui;

namespace {

const QString kPlugin = QStringLiteral(HARMOLIN_VOICE_PLUGIN);
const QString kTestData = QStringLiteral(HARMOLIN_TEST_DATA);

bool hasJapanese(const QString& text) {
    for (QChar c : text)
        if ((c.unicode() >= 0x3040 && c.unicode() <= 0x30FF) ||
            (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF))
            return true;
    return false;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::int32_t field(const QByteArray& bytes, int offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    return static_cast<std::int32_t>(v);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString chosenFile_;
    QString chosenFilter_;
    int chooserCalls_ = 0;
    std::function<int(QDialog&)> driver_;
    QStringList dialogTitles_;

    QString path(const QString& name) const { return dir_->filePath(name); }

    // Settings that load the voice plug-in and need no measurement.
    void writeSettings(const QString& plugin, int delay = 0, int sound = -1) {
        SettingsRecord r = SettingsRecord::defaults();
        r.pluginPath = plugin.toStdString();
        r.delayCorrection = delay;
        r.playbackSound = sound;
        QVERIFY(storeSettings(path(QStringLiteral("setup.ini")).toStdString(), r));
    }

    std::unique_ptr<MainWindow> makeWindow(bool liveAudio = false, const QString& device = {}) {
        WindowOptions o;
        o.workingFolder = dir_->path();
        o.seed = 7;
        o.testMode = true;
        o.liveAudio = liveAudio;
        o.audioDevice = device;
        o.measureTimeout = std::chrono::milliseconds(1500);
        o.fileChooser = [this](QWidget*, FileRequest& request) {
            ++chooserCalls_;
            if (!chosenFilter_.isEmpty()) request.selectedFilter = chosenFilter_;
            return chosenFile_;
        };
        o.dialogRunner = [this](QDialog& d) {
            dialogTitles_ << d.windowTitle();
            return driver_ ? driver_(d) : int(QDialog::Rejected);
        };
        auto w = std::make_unique<MainWindow>(o);
        w->startUp();
        return w;
    }

    static void waitIdle(MainWindow& w) { QTRY_VERIFY_WITH_TIMEOUT(!w.measuring() && !w.preparing(), 20000); }

    static void generate(MainWindow& w) {
        w.button(MainWindow::Generate)->trigger();
        QVERIFY(w.song());
        QVERIFY(w.lyricList()->count() > 0);
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        chosenFile_.clear();
        chosenFilter_.clear();
        chooserCalls_ = 0;
        driver_ = nullptr;
        dialogTitles_.clear();
    }

    void cleanup() { dir_.reset(); }

    void startsWithTheWindowsControls() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Harmolin"));
        QCOMPARE(w->size(), QSize(540, 474));
        QVERIFY(w->pluginLoaded());
        QCOMPARE(w->songTypeCombo()->count(), 5);
        QCOMPARE(w->songTypeCombo()->currentText(), QStringLiteral("Young Pops"));
        QCOMPARE(w->variantCombo()->count(), 2);
        QCOMPARE(w->variantCombo()->itemText(0), QStringLiteral("Evening Girls"));
        QCOMPARE(w->variantCombo()->itemText(1), QStringLiteral("Jaunty Keys"));
        QCOMPARE(w->lyricList()->geometry(), QRect(10, 80, 250, 280));
        QCOMPARE(w->figureView()->geometry(), QRect(275, 80, 250, 280));
        QCOMPARE(w->button(MainWindow::PlayStop)->geometry(), QRect(190, 367, 170, 38));
        QCOMPARE(w->button(MainWindow::Help)->caption(), QStringLiteral("         H e l p"));
        QCOMPARE(w->button(MainWindow::Configuration)->caption(), QStringLiteral("     Configration"));
        QCOMPARE(w->button(MainWindow::PlayStop)->caption(), MainWindow::kPlayCaption);
        QCOMPARE(w->figure().pose(), kStartPose);
        QVERIFY(w->services().messages().isEmpty());
    }

    // A first run without "setup.ini" starts from the defaults and leaves a
    // whole record behind.
    void firstStartWritesTheSettingsFile() {
        QVERIFY(!QFile::exists(path(QStringLiteral("setup.ini"))));
        {
            auto w = makeWindow();
            // The default plug-in loads unmeasured: the window measures it
            // at once, offline and unheard, and keeps the figure for it.
            QVERIFY(w->pluginLoaded());
            waitIdle(*w);
            QVERIFY(w->isEnabled());
            QVERIFY(w->settings().delayCorrection > 0);
            QCOMPARE(keptPlayDelay(w->workingFolder(), w->settings().pluginPath),
                     std::optional<int>(w->settings().delayCorrection));
            QVERIFY(w->services().messages().isEmpty());
            QCOMPARE(w->settings().danceMode, 2);
            QCOMPARE(w->settings().guideVolume, 42);
        }
        const QByteArray bytes = readAll(path(QStringLiteral("setup.ini")));
        QCOMPARE(bytes.size(), 292);
        QCOMPARE(field(bytes, 268), 2);
        QCOMPARE(field(bytes, 272), 42);
        QCOMPARE(field(bytes, 276), 0);
    }

    void generateFillsTheListAndTypeChangesEmptyIt() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        generate(*w);
        QCOMPARE(w->lyricList()->count(), w->song()->lineCount());
        bool japanese = false;
        for (int i = 0; i < w->lyricList()->count(); ++i)
            japanese = japanese || hasJapanese(w->lyricList()->item(i)->text());
        QVERIFY(japanese);
        QVERIFY(QFile::exists(path(QStringLiteral("temp_znr.mid"))));
        QVERIFY(QFile::exists(path(QStringLiteral("temp_dv.mid"))));

        w->songTypeCombo()->setCurrentIndex(2);
        QCOMPARE(w->lyricList()->count(), 0);
        QVERIFY(!w->song());
        QCOMPARE(w->figure().set(), 2);
        QCOMPARE(w->variantCombo()->count(), 2);
        QCOMPARE(w->variantCombo()->itemText(0), QStringLiteral("Enka"));
        QCOMPARE(w->variantCombo()->itemText(1), QStringLiteral("Okinawan Pops"));

        w->songTypeCombo()->setCurrentIndex(3);
        QCOMPARE(w->variantCombo()->count(), 1); // Child Song has one style
        generate(*w);
        w->songTypeCombo()->setCurrentIndex(4);
        generate(*w);
        w->variantCombo()->setCurrentIndex(1);
        QCOMPARE(w->lyricList()->count(), 0);
        QVERIFY(!w->song());
        QVERIFY(w->services().messages().isEmpty());
    }

    void saveWritesAnXfSongAndCrLfText() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        chosenFile_ = path(QStringLiteral("nothing.mid"));
        w->button(MainWindow::Save)->trigger();
        QCOMPARE(chooserCalls_, 0); // no song: nothing to save
        generate(*w);

        chosenFilter_ = QStringLiteral("XF midi files (*.mid)");
        chosenFile_ = path(QStringLiteral("song")); // the suffix is added
        w->button(MainWindow::Save)->trigger();
        const QString xf = path(QStringLiteral("song.mid"));
        QVERIFY(QFile::exists(xf));
        QProcess mido;
        mido.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(HARMOLIN_CHECK_XF), xf});
        QVERIFY(mido.waitForFinished(60000));
        QVERIFY2(mido.exitCode() == 0, mido.readAll().constData());

        chosenFilter_ = QStringLiteral("Text files (*.txt)");
        chosenFile_ = path(QStringLiteral("lyrics.txt"));
        w->button(MainWindow::Save)->trigger();
        const QByteArray text = readAll(chosenFile_);
        QVERIFY(text.endsWith("\r\n"));
        const QList<QByteArray> lines = text.left(text.size() - 2).split('\n');
        QCOMPARE(lines.size(), w->lyricList()->count());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY(lines[i].endsWith('\r') || i == lines.size() - 1);
            QCOMPARE(QString::fromUtf8(lines[i]).remove(QLatin1Char('\r')), w->lyricList()->item(i)->text());
        }
        QVERIFY(w->services().messages().isEmpty());

        // A folder that does not exist: one message, the song stays.
        chosenFile_ = path(QStringLiteral("missing/folder/song.mid"));
        chosenFilter_ = QStringLiteral("XF midi files (*.mid)");
        w->button(MainWindow::Save)->trigger();
        QCOMPARE(w->services().messages().size(), 1);
        QVERIFY(w->song());
    }

    void saveOffersSungAudioAndAMusicXmlScore() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        generate(*w);
        int lyrics = 0;
        for (const MusicEvent& e : w->song()->xfData().karaokeTrack().events())
            lyrics += e.isMeta(kMetaLyric) ? 1 : 0;
        QVERIFY(lyrics > 10);

        // The filter picks the type of a bare name; the whole song is sung,
        // which takes long enough for the progress dialog.
        chosenFilter_ = QStringLiteral("Sung song, FLAC audio (*.flac)");
        chosenFile_ = path(QStringLiteral("sung"));
        QElapsedTimer clock;
        clock.start();
        w->button(MainWindow::Save)->trigger();
        const qint64 took = clock.elapsed();
        QVERIFY2(w->services().messages().isEmpty(),
                 qPrintable(w->services().messages().join(QLatin1Char('\n'))));
        const QByteArray flac = readAll(path(QStringLiteral("sung.flac")));
        QVERIFY(flac.startsWith("fLaC"));
        QVERIFY(flac.size() > 100000);
        if (took > 800) QVERIFY(w->lastSaveShowedProgress());
        if (took < 400) QVERIFY(!w->lastSaveShowedProgress());
        QVERIFY(w->button(MainWindow::Save)->isEnabled());
        QVERIFY(w->button(MainWindow::PlayStop)->isEnabled());

        // The name's extension wins over the filter; Cancel in the progress
        // dialog leaves no file and says nothing.
        chosenFilter_ = QStringLiteral("Sung song, WAV audio (*.wav)");
        chosenFile_ = path(QStringLiteral("cancelled.ogg"));
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [&] {
            for (auto* dialog : w->findChildren<QProgressDialog*>())
                if (dialog->isVisible()) dialog->cancel();
        });
        canceller.start(50);
        w->button(MainWindow::Save)->trigger();
        canceller.stop();
        QVERIFY(!QFile::exists(path(QStringLiteral("cancelled.ogg.wav"))));
        QCOMPARE(QFile::exists(path(QStringLiteral("cancelled.ogg"))), !w->lastSaveShowedProgress());
        QVERIFY(QDir(dir_->path()).entryList({QStringLiteral("*.partial-*")}).isEmpty());
        QVERIFY(w->services().messages().isEmpty());
        QVERIFY(w->button(MainWindow::Save)->isEnabled());

        // A score, by its filter; then by the name's extension whatever the filter.
        chosenFilter_ = QStringLiteral("MusicXML score (*.musicxml *.mxl)");
        chosenFile_ = path(QStringLiteral("score"));
        w->button(MainWindow::Save)->trigger();
        const QByteArray xml = readAll(path(QStringLiteral("score.musicxml")));
        QVERIFY(xml.startsWith("<?xml"));
        QVERIFY(xml.contains("<score-partwise"));
        QCOMPARE(xml.count("<lyric "), lyrics);
        // The lines as written head their phrases.
        QCOMPARE(xml.count("<words>"), w->lyricList()->count());

        chosenFilter_ = QStringLiteral("XF midi files (*.mid)");
        chosenFile_ = path(QStringLiteral("packed.mxl"));
        w->button(MainWindow::Save)->trigger();
        QVERIFY(readAll(path(QStringLiteral("packed.mxl"))).startsWith("PK"));
        QVERIFY(!QFile::exists(path(QStringLiteral("packed.mxl.mid"))));
        QVERIFY(w->services().messages().isEmpty());
    }

    void settingsSurviveARestart() {
        writeSettings(kPlugin, 120);
        {
            auto w = makeWindow();
            generate(*w);
            driver_ = [](QDialog& d) {
                auto& s = dynamic_cast<SettingsDialog&>(d);
                s.toneCombo()->setCurrentIndex(1);
                s.danceCombo()->setCurrentIndex(1);
                s.guideSpin()->setValue(100);
                s.showLyricCheck()->setChecked(true);
                s.okButton()->click();
                return d.result();
            };
            w->button(MainWindow::Configuration)->trigger();
            QCOMPARE(dialogTitles_, QStringList{QStringLiteral("Configration")});
            QVERIFY(!w->song()); // the settings dialog drops the song
            QCOMPARE(w->lyricList()->count(), 0);
            QCOMPARE(w->settings().playbackSound, 64);
            QCOMPARE(w->settings().delayCorrection, 120);
            waitIdle(*w);
        }
        const QByteArray bytes = readAll(path(QStringLiteral("setup.ini")));
        QCOMPARE(bytes.size(), 292);
        QCOMPARE(QString::fromUtf8(bytes.left(bytes.indexOf('\0'))), kPlugin);
        QCOMPARE(field(bytes, 260), 120);
        QCOMPARE(field(bytes, 264), 64);
        QCOMPARE(field(bytes, 268), 1);
        QCOMPARE(field(bytes, 272), 100);
        QCOMPARE(field(bytes, 276), 1);

        SettingsDialog* seen = nullptr;
        int tone = -1, dance = -1, guide = -1;
        bool lyric = false;
        QString delay, plugin;
        driver_ = [&](QDialog& d) {
            seen = dynamic_cast<SettingsDialog*>(&d);
            tone = seen->toneCombo()->currentIndex();
            dance = seen->danceCombo()->currentIndex();
            guide = seen->guideSpin()->value();
            lyric = seen->showLyricCheck()->isChecked();
            delay = seen->delayEdit()->text();
            plugin = seen->pluginEdit()->text();
            return int(QDialog::Rejected);
        };
        auto w = makeWindow();
        w->button(MainWindow::Configuration)->trigger();
        QVERIFY(seen);
        QCOMPARE(tone, 1);
        QCOMPARE(dance, 1);
        QCOMPARE(guide, 100);
        QVERIFY(lyric);
        QCOMPARE(delay, QStringLiteral("120"));
        QCOMPARE(plugin, kPlugin);
    }

    // Browse: a cancelled choice still forgets the delay; a chosen plug-in
    // makes the voice sing again and says so.
    void browseResetsTheDelayAndChoosesTheVoice() {
        writeSettings(kPlugin, 200, 10);
        auto w = makeWindow();
        QString delayAfterCancel, toneAfterChoice;
        bool autoAdjustEnabled = true;
        driver_ = [&](QDialog& d) {
            auto& s = dynamic_cast<SettingsDialog&>(d);
            chosenFile_.clear();
            s.browseButton()->click();
            delayAfterCancel = s.delayEdit()->text();
            autoAdjustEnabled = s.autoAdjustButton()->isEnabled();
            chosenFile_ = kPlugin;
            s.browseButton()->click();
            toneAfterChoice = s.toneCombo()->currentText();
            s.okButton()->click();
            return d.result();
        };
        w->button(MainWindow::Configuration)->trigger();
        QCOMPARE(delayAfterCancel, QStringLiteral("-1"));
        QVERIFY(!autoAdjustEnabled);
        QCOMPARE(toneAfterChoice, QStringLiteral("Voice"));
        QCOMPARE(w->services().messages().value(0), QStringLiteral("再生音を「歌声」に設定しました。"));
        QCOMPARE(w->settings().playbackSound, -1);
        // Loaded again with an unmeasured delay: the measurement follows.
        waitIdle(*w);
        QVERIFY(w->isEnabled());
    }

    // Auto Adjust measures on a worker; the dialog's buttons wait for it and
    // the result (or -1 with a message when nothing sounded) lands in the record.
    void autoAdjustMeasuresTheDelay() {
        writeSettings(kPlugin, 300);
        auto w = makeWindow(true, QStringLiteral("null"));
        bool lockedWhileMeasuring = false, enabledAfter = false;
        QString shown;
        driver_ = [&](QDialog& d) {
            auto& s = dynamic_cast<SettingsDialog&>(d);
            s.autoAdjustButton()->click();
            lockedWhileMeasuring = s.measuring() && !s.okButton()->isEnabled() &&
                                   !s.browseButton()->isEnabled() && !s.autoAdjustButton()->isEnabled();
            s.reject(); // refused while measuring
            QElapsedTimer t;
            t.start();
            while (s.measuring() && t.elapsed() < 20000)
                QTest::qWait(20);
            enabledAfter = s.okButton()->isEnabled() && s.autoAdjustButton()->isEnabled() &&
                           s.browseButton()->isEnabled();
            shown = s.delayEdit()->text();
            s.okButton()->click();
            return d.result();
        };
        w->button(MainWindow::Configuration)->trigger();
        QVERIFY(lockedWhileMeasuring);
        QVERIFY(enabledAfter);
        QCOMPARE(shown, QString::number(w->settings().delayCorrection));
        qInfo("measured delay: %d ms", w->settings().delayCorrection);
        if (w->settings().delayCorrection == -1) {
            QCOMPARE(w->services().messages().size(), 1);
            QVERIFY(w->services().messages()[0].contains(QStringLiteral("no sound")));
        } else {
            QVERIFY(w->settings().delayCorrection >= 0);
            QVERIFY(w->services().messages().isEmpty());
        }
        waitIdle(*w);
        QVERIFY(w->isEnabled());
    }

    void missingPluginOpensTheSettingsThenFallsBackToMidi() {
        writeSettings(path(QStringLiteral("no-such-plugin.so")), 0, -1);
        auto w = makeWindow();
        QCOMPARE(dialogTitles_, QStringList{QStringLiteral("Configration")});
        QVERIFY(!w->pluginLoaded());
        QCOMPARE(w->settings().playbackSound, 64);
        const QStringList messages = w->services().messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith(
            QStringLiteral("VST Plugin has not been found. Switches to default MIDI device.")));
        QCOMPARE(w->songTypeCombo()->count(), 5);
    }

    void loadAsksForTheMelodyChannel() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        generate(*w);
        const LyricSong* before = w->song();
        const int lines = w->lyricList()->count();

        chosenFile_ = kTestData + QStringLiteral("/fmt1-mido.mid");
        QStringList offered;
        driver_ = [&](QDialog& d) {
            auto& l = dynamic_cast<LoadDialog&>(d);
            for (int i = 0; i < l.channelList()->count(); ++i)
                offered << l.channelList()->item(i)->text();
            return int(QDialog::Rejected);
        };
        w->button(MainWindow::Load)->trigger();
        QCOMPARE(dialogTitles_.value(0), QStringLiteral("MIDIファイル読込"));
        // Channel 10 is the drums: never a melody.
        QCOMPARE(offered, (QStringList{QStringLiteral("Channel 1"), QStringLiteral("Channel 4"),
                                       QStringLiteral("Channel 11")}));
        QCOMPARE(w->song(), before); // cancelled: the song stays
        QCOMPARE(w->lyricList()->count(), lines);

        int chosen = -1;
        driver_ = [&](QDialog& d) {
            auto& l = dynamic_cast<LoadDialog&>(d);
            l.channelList()->setCurrentRow(1);
            chosen = l.chosenChannel();
            l.accept();
            return d.result();
        };
        w->button(MainWindow::Load)->trigger();
        QCOMPARE(chosen, 4);
        QVERIFY(w->song());
        QVERIFY(w->song() != before);
        QCOMPARE(w->lyricList()->count(), w->song()->lineCount());
        QVERIFY(w->services().messages().isEmpty());

        // A damaged file: one message and nothing else changes.
        const LyricSong* loaded = w->song();
        chosenFile_ = kTestData + QStringLiteral("/bad/truncated-header.mid");
        dialogTitles_.clear();
        w->button(MainWindow::Load)->trigger();
        QCOMPARE(w->services().messages().size(), 1);
        QVERIFY(dialogTitles_.isEmpty());
        QCOMPARE(w->song(), loaded);
    }

    void drumChannelsOfGsRhythmPartsAreNotOffered() {
        MidiF0Data song;
        QVERIFY(song.load((kTestData + QStringLiteral("/fmt0-mido.mid")).toStdString()));
        std::vector<int> channels = melodyChannels(song);
        QCOMPARE(channels, (std::vector<int>{1, 3, 4, 11}));
        // GS: the part of block 4 (channel 4) made a rhythm part, as the
        // file stores it (F0, length, message, checksum, F7).
        const std::vector<std::uint8_t> sysex = {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12,
                                                 0x40, 0x14, 0x15, 0x01, 0x16, 0xF7};
        auto& events = song.track().events();
        events.insert(events.begin(), makeSysEx(0, sysex));
        QCOMPARE(melodyChannels(song), (std::vector<int>{1, 3, 11}));
    }

    // Play disables the other commands while the song is prepared and turns
    // into Stop; Stop (or a device that cannot play) brings everything back.
    void playThenStop() {
        writeSettings(kPlugin);
        auto w = makeWindow(true, QStringLiteral("null"));
        waitIdle(*w);
        w->services().clearMessages();
        generate(*w);
        QElapsedTimer clock;
        qint64 longestGap = 0, last = 0;
        QTimer probe;
        probe.setInterval(10);
        connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - last);
            last = now;
        });
        w->button(MainWindow::PlayStop)->trigger();
        clock.start();
        probe.start();
        QCOMPARE(w->button(MainWindow::PlayStop)->caption(), MainWindow::kStopCaption);
        QVERIFY(!w->button(MainWindow::PlayStop)->isEnabled());
        for (auto c : {MainWindow::Configuration, MainWindow::Save, MainWindow::Generate, MainWindow::Load})
            QVERIFY(!w->button(c)->isEnabled());
        QVERIFY(!w->songTypeCombo()->isEnabled());
        QVERIFY(w->button(MainWindow::Help)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w->preparing(), 60000);
        probe.stop();
        qInfo("preparing took %lld ms; longest pause of the event loop meanwhile: %lld ms",
              static_cast<long long>(clock.elapsed()), static_cast<long long>(longestGap));

        if (w->playing()) {
            QVERIFY(w->button(MainWindow::PlayStop)->isEnabled());
            QCOMPARE(w->button(MainWindow::PlayStop)->caption(), MainWindow::kStopCaption);
            // The guide melody's beats reach the figure on the window's thread.
            QTRY_VERIFY_WITH_TIMEOUT(w->danceSteps() > 0, 20000);
            w->button(MainWindow::PlayStop)->trigger();
            QVERIFY(w->services().messages().isEmpty());
        } else {
            // No audio here: one clear message, and the window goes on.
            QCOMPARE(w->services().messages().size(), 1);
        }
        QVERIFY(!w->playing());
        QCOMPARE(w->button(MainWindow::PlayStop)->caption(), MainWindow::kPlayCaption);
        for (auto c : {MainWindow::Configuration, MainWindow::Save, MainWindow::Generate, MainWindow::Load,
                       MainWindow::PlayStop})
            QVERIFY(w->button(c)->isEnabled());
        QCOMPARE(w->figure().pose(), kRestPose);
        QVERIFY(QFile::exists(path(QStringLiteral("temp_plsv.mid"))));
    }

    void playWithoutAnAudioDeviceGivesOneMessage() {
        writeSettings(kPlugin, 0, 64); // the instrument: no plug-in needed to play
        auto w = makeWindow(true, QStringLiteral("harmolin-no-such-device"));
        w->services().clearMessages();
        // Play without a song composes one first.
        w->button(MainWindow::PlayStop)->trigger();
        QVERIFY(w->song());
        QTRY_VERIFY_WITH_TIMEOUT(!w->preparing(), 60000);
        if (w->playing())
            w->button(MainWindow::PlayStop)->trigger();
        else
            QCOMPARE(w->services().messages().size(), 1);
        QCOMPARE(w->button(MainWindow::PlayStop)->caption(), MainWindow::kPlayCaption);
        QVERIFY(w->button(MainWindow::Generate)->isEnabled());
        QVERIFY(w->button(MainWindow::PlayStop)->isEnabled());
    }

    void withoutAudioOutputNothingClaimsTheVoiceWasSilent() {
        writeSettings(kPlugin, -1); // not measured: the window measures at start
        auto w = makeWindow(true, QStringLiteral("harmolin-no-such-device"));
        waitIdle(*w);
        for (const QString& m : w->services().messages())
            QVERIFY2(!m.contains(QStringLiteral("no sound")), qPrintable(m));
        // Measured offline: no output is needed for that.
        const int offline = w->settings().delayCorrection;
        QVERIFY(offline > 0);
        // Asked for, the measurement names the missing output.
        w->services().clearMessages();
        driver_ = [&](QDialog& d) {
            auto& s = dynamic_cast<SettingsDialog&>(d);
            s.autoAdjustButton()->click();
            QElapsedTimer t;
            t.start();
            while (s.measuring() && t.elapsed() < 20000)
                QTest::qWait(20);
            s.okButton()->click();
            return d.result();
        };
        w->button(MainWindow::Configuration)->trigger();
        waitIdle(*w);
        bool named = false;
        for (const QString& m : w->services().messages()) {
            QVERIFY2(!m.contains(QStringLiteral("no sound")), qPrintable(m));
            named = named || m.contains(QStringLiteral("no audio output"));
        }
        QVERIFY(named);
        // The failed Auto Adjust leaves the figure found before.
        QCOMPARE(w->settings().delayCorrection, offline);
    }

    // The window and the terminal's play take the voice's delay from one
    // entry per plug-in file: what one keeps the other reads, and a figure
    // kept for an older build of the plug-in is not used.
    void theDelayIsKeptPerPluginFileForWindowAndTerminal() {
        const std::string folder = dir_->path().toStdString();
        // A copy of the plug-in with its singer list, free to be rebuilt.
        const QString copy = path(QStringLiteral("harmolin-voice.so"));
        QVERIFY(QFile::copy(kPlugin, copy));
        QVERIFY(QFile::copy(QFileInfo(kPlugin).dir().filePath(QStringLiteral("voice.csv")),
                            path(QStringLiteral("voice.csv"))));
        // An Auto Adjust figure kept for this file: the window starts with
        // it, whatever "setup.ini" says, and measures nothing.
        QVERIFY(storeVoiceDelay(folder, adjustedDelayKind(), copy.toStdString(), 321));
        writeSettings(copy, -1);
        {
            auto w = makeWindow();
            QVERIFY(w->pluginLoaded());
            QVERIFY(!w->measuring());
            QCOMPARE(w->settings().delayCorrection, 321);
        }
        // "setup.ini"'s own figure counts while the cache knows nothing of
        // the plug-in, and is then kept where the terminal reads it.
        QVERIFY(QFile::remove(path(QStringLiteral("voicedelay.txt"))));
        writeSettings(copy, 150);
        {
            auto w = makeWindow();
            QVERIFY(!w->measuring());
            QCOMPARE(w->settings().delayCorrection, 150);
        }
        QCOMPARE(keptPlayDelay(folder, copy.toStdString()), std::optional<int>(150));
        // The plug-in file changes (a new build): neither the kept figure nor
        // "setup.ini"'s is used; it is measured again, offline.
        {
            QFile f(copy);
            QVERIFY(f.open(QIODevice::Append));
            f.write("\0", 1);
        }
        QVERIFY(!keptPlayDelay(folder, copy.toStdString()));
        {
            auto w = makeWindow();
            waitIdle(*w);
            QVERIFY(w->settings().delayCorrection > 0);
            QVERIFY(w->settings().delayCorrection != 150);
            QCOMPARE(keptPlayDelay(folder, copy.toStdString()),
                     std::optional<int>(w->settings().delayCorrection));
        }
    }

    void messagesAreShownWhenRaisedAndNoticesStayWithTheirError() {
        writeSettings(kPlugin, 0);
        auto w = makeWindow();
        w->services().clearMessages();
        // A message from a worker thread: its own box, at once.
        std::thread([] { reportMessage("分解能警告"); }).join();
        QTRY_COMPARE(w->services().messages(), QStringList{QStringLiteral("分解能警告")});
        // A file name noticed on one thread is not put in front of an error
        // raised on another, nor in front of the message that follows it.
        w->services().clearMessages();
        std::thread([] { reportNotice("/tmp/kanji.csv"); }).join();
        reportError(ErrorClass::Gene, errc::kFileNotFound);
        QTRY_COMPARE(w->services().messages().size(), 1);
        QVERIFY(!w->services().messages()[0].contains(QStringLiteral("kanji.csv")));
        w->services().clearMessages();
        std::thread([] {
            reportNotice("/tmp/words.csv");
            reportError(ErrorClass::Gnll, errc::kListBadValue);
        }).join();
        QTRY_COMPARE(w->services().messages().size(), 1);
        QVERIFY(w->services().messages()[0].startsWith(QStringLiteral("/tmp/words.csv\n")));
    }

    void buttonsRunTheirCommandOnPress() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        PictureButton* generateButton = w->button(MainWindow::Generate);
        QTest::mousePress(generateButton, Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(w->song()); // before the release
        QTest::mouseRelease(generateButton, Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(!generateButton->pressed());

        // Disabled buttons draw their caption in the muted colour.
        auto captionColours = [](PictureButton* b) {
            QSet<QRgb> colours;
            const QImage& c = b->canvas();
            for (int y = 2; y < 28; ++y)
                for (int x = 2; x < c.width(); ++x)
                    colours.insert(c.pixel(x, y) & 0xFFFFFF);
            return colours;
        };
        QVERIFY(captionColours(generateButton).contains(0x006400));
        generateButton->setEnabled(false);
        QVERIFY(captionColours(generateButton).contains(0x646432));
        QVERIFY(!captionColours(generateButton).contains(0x006400));
    }

    void pictureReleasesWhenTheMouseLeavesPressed() {
        QWidget parent;
        COffScreenPicture picture(&parent, QRect(0, 0, 40, 30));
        QList<QPoint> downs, ups;
        picture.onLeftDown([&](QPoint at, std::intptr_t) { downs << at; });
        picture.onLeftUp([&](QPoint at, std::intptr_t) { ups << at; });
        QTest::mousePress(&picture, Qt::LeftButton, {}, QPoint(5, 6));
        QCOMPARE(downs, QList<QPoint>{QPoint(5, 6)});
        QVERIFY(picture.pressed());
        QMouseEvent move(QEvent::MouseMove, QPointF(60, 6), QPointF(60, 6), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&picture, &move);
        QVERIFY(!picture.pressed());
        QCOMPARE(ups, QList<QPoint>{QPoint(-1, -1)});
        // The release that follows outside changes nothing more.
        QTest::mouseRelease(&picture, Qt::LeftButton, {}, QPoint(60, 6));
        QCOMPARE(ups.size(), 1);
    }

    // The figure is the dance logic's picture; the ticker is drawn over it in
    // white only while lyrics are shown.
    void figureDrawsTheTickerOnlyWhenAsked() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        FigureView* view = w->figureView();
        auto brightInBand = [view] {
            int n = 0;
            const QImage& c = view->canvas();
            for (int y = c.height() - 32; y < c.height() - 16; ++y)
                for (int x = 16; x < c.width() - 16; ++x)
                    n += qGray(c.pixel(x, y)) > 128;
            return n;
        };
        w->figure().setPose(Pose{-1, -1, -1, -1, -1}); // nothing of the figure in the band
        w->figure().addLyric("\x82\xA0\x82\xA2");      // あい
        view->setShowLyrics(false);
        QCOMPARE(brightInBand(), 0);
        view->setShowLyrics(true);
        w->figure().addLyric("\x82\xA4"); // う
        view->refresh();
        QVERIFY(brightInBand() > 10);

        w->figure().setPose(kRestPose);
        view->refresh();
        int lit = 0;
        const QImage& c = view->canvas();
        for (int y = 0; y < c.height() - 32; ++y)
            for (int x = 0; x < c.width(); ++x)
                lit += (c.pixel(x, y) & 0xFFFFFF) != 0;
        QVERIFY(lit > 1000);
    }

    // Words given in their dialog (Ctrl+W; the layout stays as it is) are
    // sung by Generate and Load, the lyric list shows them, the text Save
    // gives them back; a text without words is refused and changes nothing.
    void wordsDialogSingsThePersonsLines() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        const QString written = QStringLiteral("夜空に星がひとつ\nきらきら光る\n\nLove you forever\n");
        {
            QFile f(path(QStringLiteral("words.txt")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(written.toUtf8());
        }
        chosenFile_ = path(QStringLiteral("words.txt"));
        driver_ = [](QDialog& d) {
            auto& words = dynamic_cast<WordsDialog&>(d);
            words.openButton()->click();
            words.accept();
            return d.result();
        };
        QTest::keyClick(w.get(), Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(dialogTitles_, QStringList{QStringLiteral("Words")});
        QCOMPARE(int(w->words().size()), 4);
        QCOMPARE(w->lyricList()->geometry(), QRect(10, 80, 250, 280));

        const QStringList expected = {QStringLiteral("夜空に星がひとつ"), QStringLiteral("きらきら光る"),
                                      QString(), QStringLiteral("Love you forever")};
        auto listed = [&] {
            QStringList out;
            for (int i = 0; i < w->lyricList()->count(); ++i)
                out << w->lyricList()->item(i)->text();
            return out;
        };
        generate(*w);
        QCOMPARE(listed(), expected);
        chosenFilter_ = QStringLiteral("Text files (*.txt)");
        chosenFile_ = path(QStringLiteral("lyrics.txt"));
        w->button(MainWindow::Save)->trigger();
        QCOMPARE(QString::fromUtf8(readAll(chosenFile_)),
                 expected.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
        int sung = 0;
        for (const MusicEvent& e : w->song()->xfData().karaokeTrack().events())
            sung += e.isMeta(kMetaLyric);
        QVERIFY(sung >= 23); // よぞらにほしがひとつ きらきらひかる らぶゆうふぉえばあ

        // Load sings the same words on the chosen melody.
        chosenFile_ = kTestData + QStringLiteral("/fmt1-mido.mid");
        driver_ = [](QDialog& d) {
            auto& l = dynamic_cast<LoadDialog&>(d);
            l.channelList()->setCurrentRow(0);
            l.accept();
            return d.result();
        };
        w->button(MainWindow::Load)->trigger();
        QVERIFY(w->song());
        QCOMPARE(listed(), expected);

        // Nothing to sing: one message, the dialog stays open, the words stay.
        driver_ = [](QDialog& d) {
            auto& words = dynamic_cast<WordsDialog&>(d);
            words.editor()->setPlainText(QStringLiteral("  \n\n"));
            words.accept();
            return d.result();
        };
        w->editWords();
        QCOMPARE(w->services().messages().size(), 1);
        QCOMPARE(int(w->words().size()), 4);
        w->services().clearMessages();

        w->clearWords();
        generate(*w);
        QVERIFY(listed() != expected);
        QVERIFY(w->services().messages().isEmpty());
    }

    void aboutAndHelp() {
        writeSettings(kPlugin);
        auto w = makeWindow();
        w->showAbout();
        QCOMPARE(w->services().messages(), QStringList{QStringLiteral("Harmolin Version 1.0")});
        w->services().clearMessages();
        w->button(MainWindow::Help)->trigger();
        QVERIFY(w->helpUrl().endsWith(QStringLiteral("/manual/index.html")));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
