#include "gui/LoadDialog.h"

#include "midi/MidiF0Data.h"
#include "midi/MidiTrackEdit.h"
#include "playback/MidiPlayer.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <mutex>
#include <thread>

namespace harmolin::gui {

std::vector<int> melodyChannels(const MidiF0Data& song) {
    std::array<bool, 16> used{};
    for (const MusicEvent& e : song.track().events())
        if (e.isChannelEvent() && e.channel >= 0 && e.channel < 16)
            used[static_cast<std::size_t>(e.channel)] = true;
    std::vector<int> channels;
    for (int c = 0; c < 16; ++c)
        if (used[static_cast<std::size_t>(c)] && !isDrumChannel(song.track(), c)) channels.push_back(c + 1);
    return channels;
}

struct ChannelAudition::State {
    std::mutex mutex;
    std::thread starter;
    std::unique_ptr<MidiF0Data> song;
    MusicPlayer player;
    bool cancelled = false;
};

ChannelAudition::ChannelAudition() = default;

ChannelAudition::~ChannelAudition() {
    stop();
}

void ChannelAudition::start(const std::string& path, int channel) {
    stop();
    auto state = std::make_shared<State>();
    state_ = state;
    state->starter = std::thread([state, path, channel] {
        auto song = std::make_unique<MidiF0Data>();
        if (!song->load(path)) return;
        for (int c = 0; c < 16; ++c)
            if (c != channel - 1) song->removeChannel(c);
        // The player wants one event per note on and off.
        if (song->state() == TrackState::Connected && !song->split()) return;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->cancelled) return;
        state->song = std::move(song);
        (void)state->player.start(state->song.get(), {}, 0, 0, -1, {},
                                  -1); // a player that cannot start says so; the audition stays silent
    });
}

void ChannelAudition::stop() {
    if (!state_) return;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->cancelled = true;
    }
    if (state_->starter.joinable()) state_->starter.join();
    state_->player.requestStop();
    state_->player.killTimer();
    state_->player.release();
    state_.reset();
}

bool ChannelAudition::active() const {
    return state_ != nullptr;
}

LoadDialog::LoadDialog(std::string path, const std::vector<int>& channels, QWidget* parent)
    : QDialog(parent), path_(std::move(path)), channels_(channels) {
    setWindowTitle(QStringLiteral("MIDIファイル読込"));
    setModal(true);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("channelList"));
    for (int c : channels_)
        list_->addItem(QString::asprintf("Channel %d", c));
    if (!channels_.empty()) list_->setCurrentRow(0);
    listen_ = new QPushButton(QStringLiteral("Listen"), this);
    listen_->setObjectName(QStringLiteral("listenButton"));
    listen_->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Melody channel"), this));
    auto* row = new QHBoxLayout;
    row->addWidget(list_, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(listen_);
    side->addStretch(1);
    row->addLayout(side);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(300, 320);

    connect(listen_, &QPushButton::clicked, this, &LoadDialog::listen);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Another channel chosen: the one playing no longer is the one shown.
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        audition_.stop();
        listen_->setText(QStringLiteral("Listen"));
    });
}

LoadDialog::~LoadDialog() = default;

int LoadDialog::chosenChannel() const {
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(channels_.size()) ? channels_[static_cast<std::size_t>(row)]
                                                                : -1;
}

void LoadDialog::listen() {
    if (audition_.active()) {
        audition_.stop();
        listen_->setText(QStringLiteral("Listen"));
        return;
    }
    const int channel = chosenChannel();
    if (channel < 0) return;
    audition_.start(path_, channel);
    listen_->setText(QStringLiteral("Stop"));
}

void LoadDialog::done(int result) {
    audition_.stop();
    QDialog::done(result);
}

} // namespace harmolin::gui
