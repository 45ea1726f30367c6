// "MIDIファイル読込": picks the channel that carries the melody of a loaded
// file, with a button that plays that channel alone.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace harmolin {
class MidiF0Data;
}

namespace harmolin::gui {

// The channels (1..16) that carry channel events and are not drum channels
// (channel 10, or a part a GS message made a rhythm part).
[[nodiscard]] std::vector<int> melodyChannels(const MidiF0Data& song);

// Plays one channel of a song on its own through the default MIDI device.
class ChannelAudition {
  public:
    ChannelAudition();
    ~ChannelAudition(); // stops
    // Starts playing `channel` (1..16) of the song file; the device opens on
    // a worker, so the window does not wait for the synthesizer.
    void start(const std::string& path, int channel);
    void stop();
    [[nodiscard]] bool active() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

class LoadDialog : public QDialog {
    Q_OBJECT
  public:
    LoadDialog(std::string path, const std::vector<int>& channels, QWidget* parent = nullptr);
    ~LoadDialog() override;

    // The chosen channel (1..16), -1 when none is selected.
    [[nodiscard]] int chosenChannel() const;
    [[nodiscard]] QListWidget* channelList() const { return list_; }
    [[nodiscard]] QPushButton* listenButton() const { return listen_; }
    void listen();

  public slots:
    void done(int result) override;

  private:
    std::string path_;
    std::vector<int> channels_;
    QListWidget* list_;
    QPushButton* listen_;
    ChannelAudition audition_;
};

} // namespace harmolin::gui
