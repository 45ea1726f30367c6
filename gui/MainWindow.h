// The main window: song type and variant, the lyric list, the dancing figure
// and the seven picture buttons; it owns the current song, the settings, the
// plug-in host and the playback session, and turns button presses into the
// pipeline's commands.
#pragma once

#include <algorithm>

#include "app/Dance.h"
#include "app/PlaybackSession.h"
#include "app/Settings.h"
#include "app/SongPipeline.h"
#include "base/EngineRandom.h"
#include "base/ErrorReport.h"
#include "gui/GuiServices.h"
#include "lyrics/LyricSong.h"
#include "lyrics/VoiceList.h"
#include "lyrics/WordsFitting.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QComboBox;
class QListWidget;

namespace harmolin {
class CVstHostMain;
}

namespace harmolin::gui {

class COffScreenPicture;
class FigureView;
class PictureButton;
class SettingsDialog;

struct WindowOptions {
    QString workingFolder; // empty: the current directory
    std::optional<std::uint32_t> seed;
    bool testMode = false; // messages collected, dialogs driven by the runner below
    bool liveAudio = true; // false: the host plays into memory (tests)
    QString audioDevice;   // ALSA PCM for the live output; empty: "default"
    std::chrono::milliseconds measureTimeout{5000};
    QString pluginKind; // "vocaloid", "syllable", "instrument"; empty: by the plug-in's name
    GuiServices::FileChooser fileChooser;
    GuiServices::DialogRunner dialogRunner;
};

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    enum Command { Quit = 0, Help, Configuration, Save, Generate, PlayStop, Load, CommandCount };

    static constexpr int kWidth = 540;
    static constexpr int kHeight = 474;

    explicit MainWindow(WindowOptions options, QWidget* parent = nullptr);
    ~MainWindow() override; // stops playback, shuts the host down, writes "setup.ini"

    // Settings, plug-in, lists and the automatic delay measurement; may open
    // the settings dialog when the plug-in is missing.
    void startUp();

    // The commands of the buttons.
    void help();
    void configure();
    void saveSong();
    void generateSong();
    void playOrStop();
    void loadMidiFile();
    void showAbout();
    // The person's own words for the next Generate and Load ("Words…" in
    // the right-click menu, Ctrl+W); none: the program writes the lyrics.
    void editWords();
    void clearWords();
    [[nodiscard]] const std::vector<WordsLine>& words() const { return words_; }

    [[nodiscard]] PictureButton* button(Command command) const {
        return buttons_[static_cast<std::size_t>(command)];
    }
    [[nodiscard]] QComboBox* songTypeCombo() const { return songType_; }
    [[nodiscard]] QComboBox* variantCombo() const { return variant_; }
    [[nodiscard]] QListWidget* lyricList() const { return lyricList_; }
    [[nodiscard]] FigureView* figureView() const { return figureView_; }
    [[nodiscard]] DanceFigure& figure() { return figure_; }
    [[nodiscard]] GuiServices& services() { return services_; }
    [[nodiscard]] const SettingsRecord& settings() const { return settings_; }
    [[nodiscard]] const std::string& workingFolder() const { return workdir_; }
    [[nodiscard]] const LyricSong* song() const { return song_.get(); }
    [[nodiscard]] bool pluginLoaded() const { return pluginLoaded_; }
    [[nodiscard]] bool playing() const { return playing_; }
    [[nodiscard]] bool preparing() const { return preparing_; }
    // A delay measurement asked for or under way.
    [[nodiscard]] bool measuring() const { return measuring_ || measurePending_; }
    [[nodiscard]] QString helpUrl() const { return helpUrl_; }
    // Beats the figure has danced since start-up.
    [[nodiscard]] int danceSteps() const { return danceSteps_; }
    // Whether the last audio Save took long enough to show its progress dialog.
    [[nodiscard]] bool lastSaveShowedProgress() const { return lastSaveShowedProgress_; }

    static const QString kPlayCaption;
    static const QString kStopCaption;

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // A hand-edited "setup.ini" may hold any number; preparation takes 0..127.
    [[nodiscard]] int guideVolume() const { return std::clamp<int>(settings_.guideVolume, 0, 127); }
    void buildControls();
    void saveAudio(const QString& path);
    [[nodiscard]] bool loadPlugin();
    void findDelay();
    void requestMeasurement(SettingsDialog* notify);
    void startMeasurement();
    void measurementFinished(std::optional<int> delay, DelayOutcome outcome, bool live);
    void fillVariants(int songType);
    void onSongTypeChanged(int index);
    void onVariantChanged();
    void dropSong();
    void setSong(std::unique_ptr<LyricSong> song);
    void setCommandsEnabled(bool on);
    void playbackStarted(bool ok);
    void stopPlayback();
    [[nodiscard]] PlaybackListener makeListener();
    void shutdown();

    // Report lines from the reporters: shown, or kept for one combined
    // message while a command of this window runs on the calling thread.
    void onReport(const ReportLine& line);
    void beginCapture();
    [[nodiscard]] QStringList endCapture();
    void showOutcome(bool ok, const QString& failure, const QStringList& lines);

    WindowOptions options_;
    GuiServices services_;
    Presenter previousPresenter_;
    std::mutex reportMutex_;
    std::map<std::thread::id, QStringList> captures_;
    // A file name waits for the error that follows it on the same thread.
    std::map<std::thread::id, QString> pendingNotices_;

    std::string workdir_;
    std::string data_;
    std::unique_ptr<SongComposer> composer_;
    EngineRandom figureRandom_;
    DanceFigure figure_;
    SettingsRecord settings_;
    std::unique_ptr<CVstHostMain> host_;
    VoiceList voices_;
    PluginKind pluginKind_ = PluginKind::VocaloidStream;
    std::unique_ptr<PlaybackSession> session_;
    std::unique_ptr<LyricSong> song_;
    std::vector<WordsLine> words_;
    QString wordsText_;

    COffScreenPicture* background_ = nullptr;
    std::array<PictureButton*, CommandCount> buttons_{};
    QComboBox* songType_ = nullptr;
    QComboBox* variant_ = nullptr;
    QListWidget* lyricList_ = nullptr;
    FigureView* figureView_ = nullptr;

    bool started_ = false;
    bool pluginLoaded_ = false;
    bool playing_ = false;
    bool preparing_ = false;
    bool measuring_ = false;
    bool measurePending_ = false;
    bool shutDown_ = false;
    QPointer<SettingsDialog> notify_;
    QTimer busyTimer_;
    std::thread worker_;
    std::thread measureThread_;
    QString helpUrl_;
    QStringList pluginLines_;
    int danceSteps_ = 0;
    bool lastSaveShowedProgress_ = false;
};

} // namespace harmolin::gui
