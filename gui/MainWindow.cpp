#include "gui/MainWindow.h"

#include "app/AudioExport.h"
#include "app/DataFolder.h"
#include "app/LyricPipeline.h"
#include "app/MusicXmlWriter.h"
#include "app/VoiceDelayCache.h"
#include "app/WordsPipeline.h"
#include "app/WorkingFolder.h"
#include "gui/Artwork.h"
#include "gui/FigureView.h"
#include "gui/LoadDialog.h"
#include "gui/PictureButton.h"
#include "gui/SettingsDialog.h"
#include "gui/WordsDialog.h"
#include "midi/MidiF0Data.h"
#include "playback/LiveAudio.h"
#include "playback/VstHost.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QShortcut>
#include <QSignalBlocker>
#include <QThread>
#include <QUrl>
#include <algorithm>

#include <atomic>
#include <ctime>

namespace harmolin::gui {

const QString MainWindow::kPlayCaption = QStringLiteral("          P l a y");
const QString MainWindow::kStopCaption = QStringLiteral("          S t o p");

namespace {

struct ButtonLayout {
    QRect rect;
    const char* art;
    const char* caption;
};

QRect fromEdges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// In command order: quit, Help, Configuration, Save, Generate, Play/Stop, Load.
const std::array<ButtonLayout, MainWindow::CommandCount> kButtons = {{
    {fromEdges(10, 10, 75, 70), "quit", ""},
    {fromEdges(370, 426, 530, 464), "help", "         H e l p"},
    {fromEdges(190, 426, 360, 464), "configuration", "     Configration"},
    {fromEdges(370, 367, 530, 405), "save", "         S a v e"},
    {fromEdges(20, 367, 180, 405), "generate", "       Generate"},
    {fromEdges(190, 367, 360, 405), "play", "          P l a y"},
    {fromEdges(15, 426, 185, 464), "load", "          L o a d"},
}};

const QRect kSongTypeRect(90, 15, 170, 24);
const QRect kVariantRect(90, 45, 170, 24);
const QRect kLyricRect(10, 80, 250, 280);
const QRect kFigureRect(275, 80, 250, 280);

QString pluginMissingText() {
    return QStringLiteral("VST Plugin has not been found. Switches to default MIDI device.");
}

} // namespace

MainWindow::MainWindow(WindowOptions options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)), services_(options_.testMode),
      figure_(kFigureRect.width(), kFigureRect.height(),
              [this](int lo, int hi) { return figureRandom_.randRange(lo, hi); }) {
    if (options_.fileChooser) services_.setFileChooser(options_.fileChooser);
    if (options_.dialogRunner) services_.setDialogRunner(options_.dialogRunner);
    previousPresenter_ = setPresenter([this](const ReportLine& line) { onReport(line); });

    setWindowTitle(QStringLiteral("Harmolin"));
    setFixedSize(kWidth, kHeight);

    workdir_ =
        options_.workingFolder.isEmpty() ? currentWorkingFolder() : options_.workingFolder.toStdString();
    data_ = dataFolder();
    setWindowIcon(loadIcon(QString::fromStdString(data_)));
    composer_ = std::make_unique<SongComposer>(data_, options_.seed);
    figureRandom_.seed(options_.seed ? *options_.seed : static_cast<std::uint32_t>(std::time(nullptr)));

    if (options_.liveAudio && !options_.audioDevice.isEmpty())
        LiveAudio::instance().setDeviceName(options_.audioDevice.toStdString());
    host_ = std::make_unique<CVstHostMain>(options_.liveAudio ? makeLiveWaveOut() : nullptr);
    session_ = std::make_unique<PlaybackSession>(*host_, workdir_, data_);

    buildControls();
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this), &QShortcut::activated, this,
            &MainWindow::editWords);
    busyTimer_.setInterval(400);
    connect(&busyTimer_, &QTimer::timeout, this, [this] {
        figure_.busyStep();
        figureView_->refresh();
    });
}

MainWindow::~MainWindow() {
    shutdown();
}

void MainWindow::buildControls() {
    const QString data = QString::fromStdString(data_);
    background_ = new COffScreenPicture(this, QRect(0, 0, kWidth, kHeight));
    background_->setObjectName(QStringLiteral("background"));
    const QImage back = loadBackground(data, QSize(kWidth, kHeight));
    background_->onPaint([back](QImage& canvas, std::intptr_t) { canvas = back.copy(); });
    background_->redraw();

    figure_.changeSet(0, data_);
    figure_.setPose(kStartPose);
    figureView_ = new FigureView(this, kFigureRect, figure_);

    songType_ = new QComboBox(this);
    songType_->setObjectName(QStringLiteral("songType"));
    songType_->setGeometry(kSongTypeRect);
    variant_ = new QComboBox(this);
    variant_->setObjectName(QStringLiteral("variant"));
    variant_->setGeometry(kVariantRect);
    lyricList_ = new QListWidget(this);
    lyricList_->setObjectName(QStringLiteral("lyricList"));
    lyricList_->setGeometry(kLyricRect);
    lyricList_->setFont(FigureView::tickerFont());

    const std::array<std::function<void()>, CommandCount> commands = {
        [this] { close(); },        [this] { help(); },         [this] { configure(); },
        [this] { saveSong(); },     [this] { generateSong(); }, [this] { playOrStop(); },
        [this] { loadMidiFile(); },
    };
    for (int i = 0; i < CommandCount; ++i) {
        const ButtonLayout& place = kButtons[static_cast<std::size_t>(i)];
        const QString art = QString::fromLatin1(place.art);
        buttons_[static_cast<std::size_t>(i)] =
            new PictureButton(this, place.rect, loadButtonArt(data, art, place.rect.size(), false),
                              loadButtonArt(data, art, place.rect.size(), true),
                              QString::fromLatin1(place.caption), commands[static_cast<std::size_t>(i)]);
    }
    button(Quit)->setObjectName(QStringLiteral("quit"));
    button(Quit)->setToolTip(QStringLiteral("Quit"));

    connect(songType_, &QComboBox::currentIndexChanged, this, &MainWindow::onSongTypeChanged);
    connect(variant_, &QComboBox::currentIndexChanged, this, &MainWindow::onVariantChanged);
}

void MainWindow::startUp() {
    if (started_) return;
    started_ = true;
    if (data_.empty())
        services_.message(
            QStringLiteral("The program's data folder (patterns, word lists, pictures) was not found "
                           "beside the program; set HARMOLIN_DATA to its path."),
            this);
    settings_ = loadSettings(joinPath(workdir_, kSettingsFileName), SettingsRecord::defaults());
    figureView_->setShowLyrics(settings_.showLyrics == 1);
    if (!loadPlugin()) configure();

    {
        const QSignalBlocker block(songType_);
        for (const char* name : kSongTypes)
            songType_->addItem(QString::fromLatin1(name));
        songType_->setCurrentIndex(0);
    }
    fillVariants(0);
    if (pluginLoaded_) findDelay();
}

bool MainWindow::loadPlugin() {
    pluginKind_ = pluginKindOf(settings_.pluginPath, options_.pluginKind.toStdString());
    host_->setVoiceChannel(0, pluginKind_);
    QStringList lines;
    beginCapture();
    pluginLoaded_ = !settings_.pluginPath.empty() &&
                    QFileInfo::exists(QString::fromStdString(settings_.pluginPath)) &&
                    host_->loadSingingPlugin(settings_.pluginPath, pluginKind_, 0, 0);
    lines = endCapture();
    pluginLines_.clear();
    if (pluginLoaded_) {
        (void)voices_.loadVoiceList(settings_.pluginPath, pluginKind_,
                                    data_); // false for an instrument: no singers, an empty list
        // The plug-in is there; a device that would not open is worth saying.
        if (!lines.isEmpty()) services_.message(lines.join(QLatin1Char('\n')), this);
    } else {
        // Told with the window's own message after the settings dialog.
        pluginLines_ = lines;
    }
    return pluginLoaded_;
}

void MainWindow::fillVariants(int songType) {
    const QSignalBlocker block(variant_);
    variant_->clear();
    for (int v = 1; v <= 2; ++v) {
        const auto choice = styleChoice(songType, v);
        if (!choice) continue;
        variant_->addItem(
            QString::fromStdString(composer_->styles().at(choice->group, choice->slot).nameText()));
    }
    variant_->setCurrentIndex(0);
}

void MainWindow::onSongTypeChanged(int index) {
    if (index < 0) return;
    dropSong();
    figure_.changeSet(index, data_);
    figureView_->refresh();
    fillVariants(index);
}

void MainWindow::onVariantChanged() {
    dropSong();
}

void MainWindow::dropSong() {
    lyricList_->clear();
    song_.reset();
}

void MainWindow::setSong(std::unique_ptr<LyricSong> song) {
    song_ = std::move(song);
    lyricList_->clear();
    for (const std::string& line : song_->linesUtf8())
        lyricList_->addItem(QString::fromStdString(line));
}

// ---- commands -------------------------------------------------------------

void MainWindow::help() {
    const QString manual = QString::fromStdString(data_) + QStringLiteral("/manual/index.html");
    helpUrl_ = QUrl::fromLocalFile(manual).toString();
    if (!QFileInfo::exists(manual)) {
        services_.message(QStringLiteral("The manual was not found at %1.").arg(manual), this);
        return;
    }
    if (!services_.testMode() && !QDesktopServices::openUrl(QUrl::fromLocalFile(manual)))
        services_.message(QStringLiteral("No program could show the manual %1.").arg(manual), this);
}

void MainWindow::configure() {
    dropSong();
    SettingsDialog dialog(
        settings_, services_, [this](SettingsDialog* d) { requestMeasurement(d); }, this);
    (void)services_.runDialog(dialog); // the dialog applies its own changes on OK
    if (!loadPlugin()) {
        QString text = pluginMissingText();
        if (!pluginLines_.isEmpty()) text += QStringLiteral("\n\n") + pluginLines_.join(QLatin1Char('\n'));
        services_.message(text, this);
        settings_.playbackSound = 64;
    } else if (settings_.delayCorrection == -1) {
        findDelay();
    }
    figureView_->setShowLyrics(settings_.showLyrics == 1);
}

void MainWindow::generateSong() {
    const int type = songType_->currentIndex();
    const auto choice = styleChoice(type, variant_->currentIndex() + 1);
    if (!choice) {
        services_.message(QStringLiteral("MakeXfFile error"), this);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<LyricSong> song;
    beginCapture();
    const std::string composed = joinPath(workdir_, kComposedFile);
    QString failure = QStringLiteral("The song could not be made.");
    if (!words_.empty()) {
        WordsSong made = generateSongWithWords(*composer_, *choice, words_, workdir_, data_, guideVolume(),
                                               settings_.playbackSound);
        song = std::move(made.song);
        if (!made.error.empty()) failure = QString::fromStdString(made.error);
    } else if (composer_->composeSong(*choice, composed, settings_.playbackSound)) {
        // The engine writes the melody on channel 2.
        song = prepareAndWriteLyrics(composed, 2, type, workdir_, composer_->state().rng, guideVolume());
    }
    const QStringList lines = endCapture();
    QApplication::restoreOverrideCursor();
    showOutcome(song != nullptr, failure, lines);
    if (song) setSong(std::move(song));
}

namespace {

enum class SaveKind { Xf, Text, Wav, Flac, Ogg, Score };

struct SaveFormat {
    SaveKind kind;
    const char* filter;
    std::vector<const char*> suffixes; // the first is added when the name has none of them
};

const std::vector<SaveFormat>& saveFormats() {
    static const std::vector<SaveFormat> formats = {
        {SaveKind::Xf, "XF midi files (*.mid)", {"mid"}},
        {SaveKind::Text, "Text files (*.txt)", {"txt"}},
        {SaveKind::Wav, "Sung song, WAV audio (*.wav)", {"wav"}},
        {SaveKind::Flac, "Sung song, FLAC audio (*.flac)", {"flac"}},
        {SaveKind::Ogg, "Sung song, Ogg Vorbis audio (*.ogg)", {"ogg"}},
        {SaveKind::Score, "MusicXML score (*.musicxml *.mxl)", {"musicxml", "mxl", "xml"}},
    };
    return formats;
}

// The format a name asks for by its extension, else the chosen filter's;
// the filter's extension is added to a name that has none of its own.
const SaveFormat* chooseSaveFormat(QString& path, const QString& filter) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const SaveFormat& f : saveFormats())
        for (const char* s : f.suffixes)
            if (suffix == QLatin1String(s)) return &f;
    for (const SaveFormat& f : saveFormats()) {
        if (filter != QLatin1String(f.filter)) continue;
        path += QLatin1Char('.') + QLatin1String(f.suffixes.front());
        return &f;
    }
    return nullptr;
}

} // namespace

void MainWindow::saveSong() {
    if (!song_) return;
    QStringList filters;
    for (const SaveFormat& f : saveFormats())
        filters << QLatin1String(f.filter);
    FileRequest request;
    request.caption = QStringLiteral("Save");
    request.folder = QString::fromStdString(workdir_);
    request.filter = filters.join(QStringLiteral(";;"));
    request.selectedFilter = filters.front();
    request.save = true;
    QString path = services_.chooseFile(this, request);
    if (path.isEmpty()) return;
    const SaveFormat* format = chooseSaveFormat(path, request.selectedFilter);
    if (!format) {
        services_.message(QStringLiteral("Internal Error"), this);
        return;
    }
    switch (format->kind) {
    case SaveKind::Wav:
    case SaveKind::Flac:
    case SaveKind::Ogg:
        saveAudio(path);
        return;
    case SaveKind::Score: {
        beginCapture();
        ScoreOptions options;
        options.withChords = true;
        options.lines = song_->lines();
        std::string error;
        const bool ok = exportMusicXml(song_->xfData(), options, path.toStdString(), error);
        showOutcome(ok,
                    QStringLiteral("%1 could not be written.\n%2").arg(path, QString::fromStdString(error)),
                    endCapture());
        return;
    }
    case SaveKind::Xf:
    case SaveKind::Text:
        break;
    }
    beginCapture();
    // Both writers go through a temporary file: a failed save keeps the old one.
    const bool ok = format->kind == SaveKind::Xf ? song_->xfData().save(path.toStdString())
                                                 : song_->saveLines(path.toStdString(), TextEncoding::Utf8);
    showOutcome(ok, QStringLiteral("%1 could not be written.").arg(path), endCapture());
}

void MainWindow::saveAudio(const QString& path) {
    if (settings_.playbackSound == kVoiceSound && !pluginLoaded_) {
        services_.message(
            QStringLiteral("The singing plug-in is not loaded, so the song cannot be sung into a file. "
                           "Choose the plug-in, or the Instrument tone, in Configuration."),
            this);
        return;
    }
    AudioExportSettings sound;
    sound.sung = settings_.playbackSound == kVoiceSound;
    sound.melodyProgram = settings_.playbackSound;
    sound.pluginPath = settings_.pluginPath;
    sound.pluginKind = pluginKind_;

    // The render runs on a worker; the window stays drawn and offers a
    // progress dialog once it has taken half a second.
    std::atomic<int> done{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    RenderResult result;
    QStringList lines;
    setCommandsEnabled(false);
    button(Quit)->setEnabled(false);
    button(PlayStop)->setEnabled(false);
    const CXfData song = song_->xfData();
    std::thread worker([&] {
        beginCapture();
        result = exportSongAudio(song, sound, workdir_, data_, path.toStdString(), [&](double share) {
            done = static_cast<int>(share * 1000);
            return !cancelled.load();
        });
        lines = endCapture();
        finished = true;
    });
    QProgressDialog progress(
        QStringLiteral("Rendering the sung song into %1 ...").arg(QFileInfo(path).fileName()),
        QStringLiteral("Cancel"), 0, 1000, this);
    progress.setWindowTitle(QStringLiteral("Save"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    lastSaveShowedProgress_ = false;
    while (!finished.load()) {
        progress.setValue(std::clamp(done.load(), 0, 999));
        if (progress.wasCanceled()) cancelled = true;
        lastSaveShowedProgress_ = lastSaveShowedProgress_ || progress.isVisible();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    worker.join();
    progress.close();
    setCommandsEnabled(true);
    button(Quit)->setEnabled(true);
    button(PlayStop)->setEnabled(true);
    if (cancelled.load()) return; // nothing written, nothing to say
    showOutcome(
        result.ok,
        QStringLiteral("%1 could not be written.\n%2").arg(path, QString::fromStdString(result.error)),
        lines);
}

void MainWindow::loadMidiFile() {
    FileRequest request;
    request.caption = QStringLiteral("Load");
    request.folder = QString::fromStdString(workdir_);
    request.filter = QStringLiteral("midi files (*.mid)");
    request.selectedFilter = request.filter;
    const QString path = services_.chooseFile(this, request);
    if (path.isEmpty()) return;

    std::vector<int> channels;
    {
        beginCapture();
        MidiF0Data probe;
        const bool ok = probe.load(path.toStdString());
        if (ok) channels = melodyChannels(probe);
        showOutcome(ok, QStringLiteral("%1 could not be read.").arg(path), endCapture());
        if (!ok) return;
    }
    if (channels.empty()) {
        services_.message(QStringLiteral("%1 has no channel that could carry a melody.").arg(path), this);
        return;
    }
    int channel = -1;
    {
        LoadDialog dialog(path.toStdString(), channels, this);
        if (services_.runDialog(dialog) != QDialog::Accepted) return; // the current song stays
        channel = dialog.chosenChannel();
    }
    if (channel < 0) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    beginCapture();
    std::unique_ptr<LyricSong> song;
    QString failure =
        QStringLiteral("No lyrics could be written for channel %1 of %2.").arg(channel).arg(path);
    if (!words_.empty()) {
        WordsSong made =
            loadSongWithWords(path.toStdString(), channel, words_, workdir_, data_, guideVolume());
        song = std::move(made.song);
        if (!made.error.empty()) failure = QString::fromStdString(made.error);
    } else {
        song = prepareAndWriteLyrics(path.toStdString(), channel, songType_->currentIndex(), workdir_,
                                     composer_->state().rng, guideVolume());
    }
    const QStringList lines = endCapture();
    QApplication::restoreOverrideCursor();
    showOutcome(song != nullptr, failure, lines);
    if (song) setSong(std::move(song));
}

void MainWindow::setCommandsEnabled(bool on) {
    for (Command c : {Configuration, Save, Generate, Load})
        button(c)->setEnabled(on);
    // The lists would destroy the song the worker is saving.
    songType_->setEnabled(on);
    variant_->setEnabled(on);
}

void MainWindow::playOrStop() {
    if (!pluginLoaded_ && settings_.playbackSound == kVoiceSound) return;
    if (preparing_) return;
    if (playing_) {
        stopPlayback();
        return;
    }
    // The song's time zero: preparing it is hidden in its lead-in.
    const auto asked = std::chrono::steady_clock::now();
    playing_ = true;
    if (!song_) {
        generateSong();
        if (!song_) {
            playing_ = false;
            return;
        }
    }
    setCommandsEnabled(false);
    button(PlayStop)->setCaption(kStopCaption);
    button(PlayStop)->setEnabled(false);
    preparing_ = true;
    busyTimer_.start();

    PlaybackSettings play;
    play.playbackSound = settings_.playbackSound;
    play.delayCorrectionMs = settings_.delayCorrection;
    play.danceMode = settings_.danceMode;
    play.pluginPath = settings_.pluginPath;
    play.songStart = asked;
    play.pluginKind = pluginKind_;
    // The list read beside the plug-in when it was loaded is the one sung.
    if (voices_.hasList()) play.singers = voices_;
    PlaybackListener listener = makeListener();
    const CXfData* song = &song_->xfData();
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, play, listener, song] {
        beginCapture();
        const bool ok = session_->prepare(*song, play) && session_->start(listener);
        QMetaObject::invokeMethod(
            this, [this, ok] { playbackStarted(ok); }, Qt::QueuedConnection);
    });
}

PlaybackListener MainWindow::makeListener() {
    PlaybackListener listener;
    listener.danceStep = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!playing_ || preparing_) return;
                ++danceSteps_;
                figure_.danceStep();
                figureView_->refresh();
            },
            Qt::QueuedConnection);
    };
    listener.lyric = [this](const std::string& cp932) {
        QMetaObject::invokeMethod(
            this,
            [this, cp932] {
                if (!playing_) return;
                figure_.addLyric(cp932);
                figureView_->refresh();
            },
            Qt::QueuedConnection);
    };
    listener.ended = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (playing_ && !preparing_) stopPlayback();
            },
            Qt::QueuedConnection);
    };
    return listener;
}

void MainWindow::playbackStarted(bool ok) {
    if (worker_.joinable()) worker_.join();
    // The worker's reports, taken on its thread, are shown here as one.
    QStringList lines;
    {
        std::lock_guard<std::mutex> lock(reportMutex_);
        for (auto& [id, captured] : captures_)
            lines += captured;
        captures_.clear();
    }
    preparing_ = false;
    busyTimer_.stop();
    if (!ok) {
        showOutcome(false, QStringLiteral("The song could not be played."), lines);
        stopPlayback();
        return;
    }
    if (!lines.isEmpty()) services_.message(lines.join(QLatin1Char('\n')), this);
    figure_.setPose(kRestPose);
    figureView_->refresh();
    button(PlayStop)->setEnabled(true);
}

void MainWindow::stopPlayback() {
    session_->stop(); // gain 0, player stopped
    button(PlayStop)->setCaption(kPlayCaption);
    button(PlayStop)->setEnabled(true);
    setCommandsEnabled(true);
    figure_.stop();
    figureView_->refresh();
    playing_ = false;
}

// ---- delay measurement ----------------------------------------------------

// The delay kept in the working folder for the plug-in file as it is now,
// the entry the terminal's play reads too; else the figure of "setup.ini",
// when the cache knows nothing of this plug-in (a hand-set or older figure),
// which is then kept for it; else measured offline, where nobody hears it.
void MainWindow::findDelay() {
    if (const auto kept = keptPlayDelay(workdir_, settings_.pluginPath)) {
        settings_.delayCorrection = *kept;
        return;
    }
    if (settings_.delayCorrection >= 0 && !voiceDelayKeptForPath(workdir_, settings_.pluginPath)) {
        (void)storeVoiceDelay(workdir_, adjustedDelayKind(), settings_.pluginPath,
                              settings_.delayCorrection); // not kept: setup.ini still has it
        return;
    }
    settings_.delayCorrection = -1;
    requestMeasurement(nullptr);
}

void MainWindow::requestMeasurement(SettingsDialog* notify) {
    notify_ = notify;
    if (measuring_ || measurePending_) return;
    measurePending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { startMeasurement(); }, Qt::QueuedConnection);
}

void MainWindow::startMeasurement() {
    measurePending_ = false;
    if (shutDown_ || measuring_) return;
    // Auto Adjust, asked for in the dialog, sings through the live output;
    // otherwise a private instance of the plug-in sings offline, unheard.
    const bool live = notify_ != nullptr;
    if (!pluginLoaded_) {
        measurementFinished(std::nullopt, DelayOutcome::NoPlugin, live);
        return;
    }
    measuring_ = true;
    // The dialog that asked is modal: it keeps the window from commands.
    if (!live) setEnabled(false);
    const PluginKind kind = pluginKind_;
    const VoiceList singers = voices_;
    const auto timeout = options_.measureTimeout;
    const std::string plugin = settings_.pluginPath;
    measureThread_ = std::thread([this, kind, singers, timeout, live, plugin] {
        DelayOutcome outcome = DelayOutcome::NoSound;
        std::optional<int> delay;
        if (live) {
            delay = measureLiveDelay(*host_, kind, &singers, timeout, &outcome);
        } else {
            bool measured = false;
            std::string error;
            delay = playDelay(workdir_, plugin, kind, &singers, measured, error);
            if (delay) outcome = DelayOutcome::Measured;
        }
        QMetaObject::invokeMethod(
            this, [this, delay, outcome, live] { measurementFinished(delay, outcome, live); },
            Qt::QueuedConnection);
    });
}

void MainWindow::measurementFinished(std::optional<int> delay, DelayOutcome outcome, bool live) {
    if (measureThread_.joinable()) measureThread_.join();
    const bool measured = measuring_;
    measuring_ = false;
    // Without a new figure Play keeps the one found before for this plug-in
    // file, if there is one.
    const std::optional<int> kept =
        delay || !pluginLoaded_ ? std::nullopt : keptPlayDelay(workdir_, settings_.pluginPath);
    settings_.delayCorrection = delay ? *delay : kept.value_or(-1);
    // The user's own measurement is the one Play takes from now on, in the
    // window and the terminal.
    if (delay && live) // not kept: the next start measures offline again
        (void)storeVoiceDelay(workdir_, adjustedDelayKind(), settings_.pluginPath, *delay);
    setEnabled(true);
    QWidget* parent = notify_ ? static_cast<QWidget*>(notify_.data()) : this;
    const QString stays =
        kept ? QStringLiteral("the delay stays as it was measured before.")
             : QStringLiteral("the delay stays unmeasured and the accompaniment is not held back.");
    if (measured && !delay && outcome == DelayOutcome::NoSound)
        services_.message(live ? QStringLiteral("The singing plug-in made no sound within %1 seconds: %2")
                                     .arg(static_cast<double>(options_.measureTimeout.count()) / 1000.0)
                                     .arg(stays)
                               : QStringLiteral("The singing plug-in made no sound when its delay was "
                                                "measured: %1")
                                     .arg(stays),
                          parent);
    // With no audio output nothing was measured. Said when Auto Adjust was
    // pressed; at start-up the output's own failure has already been shown.
    if (measured && !delay && outcome == DelayOutcome::NoAudioOutput && notify_)
        services_.message(
            QStringLiteral("There is no audio output, so the delay cannot be measured: %1").arg(stays),
            parent);
    if (notify_) notify_->measurementDone();
    notify_.clear();
}

// ---- about box and reports ------------------------------------------------

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Harmolin のﾊﾞｰｼﾞｮﾝ情報(&A)..."), this, &MainWindow::showAbout);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Words…(&W)"), this, &MainWindow::editWords);
    menu.addAction(QStringLiteral("Clear words"), this, &MainWindow::clearWords)->setEnabled(!words_.empty());
    menu.exec(event->globalPos());
}

void MainWindow::editWords() {
    WordsDialog dialog(wordsText_, services_, QString::fromStdString(workdir_), this);
    if (services_.runDialog(dialog) != QDialog::Accepted) return;
    words_ = dialog.lines();
    wordsText_ = dialog.text();
}

void MainWindow::clearWords() {
    words_.clear();
    wordsText_.clear();
}

void MainWindow::showAbout() {
    if (services_.testMode()) {
        services_.message(QStringLiteral("Harmolin Version 1.0"), this);
        return;
    }
    QMessageBox::about(this, QStringLiteral("Harmolin"), QStringLiteral("Harmolin Version 1.0"));
}

void MainWindow::onReport(const ReportLine& line) {
    QString text = QString::fromStdString(line.text);
    {
        std::lock_guard<std::mutex> lock(reportMutex_);
        const auto self = std::this_thread::get_id();
        if (line.severity == Severity::Notice) {
            // A file name: shown with the error that follows it here.
            pendingNotices_[self] = text;
            return;
        }
        if (line.severity == Severity::Message) {
            // A message of its own: its box now, whatever the thread is
            // doing, never held for a later error.
            services_.message(text, this);
            return;
        }
        if (const auto notice = pendingNotices_.find(self); notice != pendingNotices_.end()) {
            text = notice->second + QLatin1Char('\n') + text;
            pendingNotices_.erase(notice);
        }
        auto it = captures_.find(self);
        if (it != captures_.end()) {
            it->second << text;
            return;
        }
    }
    services_.message(text, this);
    // The engine gives its boxes a moment before it goes on.
    if (!services_.testMode() && line.errorClass == ErrorClass::Znrc &&
        QThread::currentThread() == QCoreApplication::instance()->thread())
        QThread::msleep(500);
}

void MainWindow::beginCapture() {
    std::lock_guard<std::mutex> lock(reportMutex_);
    captures_[std::this_thread::get_id()];
}

QStringList MainWindow::endCapture() {
    std::lock_guard<std::mutex> lock(reportMutex_);
    // A notice no error followed belongs to nothing later.
    pendingNotices_.erase(std::this_thread::get_id());
    QStringList lines;
    auto it = captures_.find(std::this_thread::get_id());
    if (it != captures_.end()) {
        lines = it->second;
        captures_.erase(it);
    }
    return lines;
}

void MainWindow::showOutcome(bool ok, const QString& failure, const QStringList& lines) {
    if (!ok) {
        QString text = failure;
        if (!lines.isEmpty()) text += QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
        services_.message(text, this);
    } else if (!lines.isEmpty()) {
        services_.message(lines.join(QLatin1Char('\n')), this);
    }
}

void MainWindow::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    busyTimer_.stop();
    if (worker_.joinable()) worker_.join();
    if (measureThread_.joinable()) measureThread_.join();
    session_->stop();
    song_.reset();
    session_.reset();
    host_->shutdown();
    if (started_)
        (void)storeSettings(joinPath(workdir_, kSettingsFileName),
                            settings_);     // a failure is reported; the old file stays
    (void)setPresenter(previousPresenter_); // our own presenter, done with
}

} // namespace harmolin::gui
