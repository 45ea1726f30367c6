#include "gui/SettingsDialog.h"

#include "gui/GuiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace harmolin::gui {

SettingsDialog::SettingsDialog(SettingsRecord& record, GuiServices& services,
                               std::function<void(SettingsDialog*)> requestMeasure, QWidget* parent)
    : QDialog(parent), record_(record), services_(services), requestMeasure_(std::move(requestMeasure)) {
    setWindowTitle(QStringLiteral("Configration"));
    setModal(true);

    plugin_ = new QLineEdit(this);
    plugin_->setObjectName(QStringLiteral("pluginEdit"));
    plugin_->setReadOnly(true);
    plugin_->setMinimumWidth(300);
    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(QStringLiteral("browseButton"));
    browse_->setFixedWidth(32);
    browse_->setAutoDefault(false);
    delay_ = new QLineEdit(this);
    delay_->setObjectName(QStringLiteral("delayEdit"));
    delay_->setReadOnly(true);
    delay_->setFixedWidth(80);
    autoAdjust_ = new QPushButton(QStringLiteral("Auto Adjust"), this);
    autoAdjust_->setObjectName(QStringLiteral("autoAdjustButton"));
    autoAdjust_->setAutoDefault(false);
    tone_ = new QComboBox(this);
    tone_->setObjectName(QStringLiteral("toneCombo"));
    tone_->addItems({QStringLiteral("Voice"), QStringLiteral("Instrument")});
    dance_ = new QComboBox(this);
    dance_->setObjectName(QStringLiteral("danceCombo"));
    dance_->addItems(
        {QStringLiteral("None"), QStringLiteral("Link to Drum"), QStringLiteral("Link to Guide Melody")});
    guide_ = new QSpinBox(this);
    guide_->setObjectName(QStringLiteral("guideSpin"));
    guide_->setRange(0, 127);
    showLyric_ = new QCheckBox(QStringLiteral("Show Lyric"), this);
    showLyric_->setObjectName(QStringLiteral("showLyricCheck"));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Plugin"), this), 0, 0);
    auto* pluginRow = new QHBoxLayout;
    pluginRow->addWidget(plugin_, 1);
    pluginRow->addWidget(browse_);
    grid->addLayout(pluginRow, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Adjust Delay"), this), 1, 0);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(delay_);
    delayRow->addWidget(autoAdjust_);
    delayRow->addStretch(1);
    grid->addLayout(delayRow, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Tone"), this), 2, 0);
    grid->addWidget(tone_, 2, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Dance"), this), 3, 0);
    grid->addWidget(dance_, 3, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Guide Melody"), this), 4, 0);
    grid->addWidget(guide_, 4, 1, Qt::AlignLeft);
    grid->addWidget(showLyric_, 5, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    grid->addLayout(buttons, 6, 0, 1, 2);

    plugin_->setText(QString::fromStdString(record_.pluginPath));
    showDelay();
    tone_->setCurrentIndex(record_.playbackSound == -1 ? 0 : 1);
    dance_->setCurrentIndex(record_.danceMode >= 0 && record_.danceMode <= 2 ? record_.danceMode : 0);
    guide_->setValue(record_.guideVolume);
    showLyric_->setChecked(record_.showLyrics == 1);

    connect(browse_, &QPushButton::clicked, this, &SettingsDialog::browse);
    connect(autoAdjust_, &QPushButton::clicked, this, &SettingsDialog::autoAdjust);
    connect(ok_, &QPushButton::clicked, this, &SettingsDialog::accept);
}

void SettingsDialog::showDelay() {
    delay_->setText(QString::asprintf("%d", record_.delayCorrection));
}

void SettingsDialog::browse() {
    autoAdjust_->setEnabled(false);
    FileRequest request;
    request.caption = QStringLiteral("Plugin");
    request.filter = QStringLiteral("Vst Plugin files (*.so)");
    request.selectedFilter = request.filter;
    if (!record_.pluginPath.empty())
        request.folder = QFileInfo(QString::fromStdString(record_.pluginPath)).path();
    const QString chosen = services_.chooseFile(this, request);
    if (!chosen.isEmpty()) {
        const std::string path = chosen.toStdString();
        if (path.size() >= static_cast<std::size_t>(kSettingsPathBytes)) {
            // The record keeps 259 bytes; a cut path would name another file.
            services_.message(QStringLiteral("The plug-in path is longer than %1 bytes and cannot be stored.")
                                  .arg(kSettingsPathBytes - 1),
                              this);
        } else {
            record_.pluginPath = path;
            if (record_.playbackSound != -1) {
                record_.playbackSound = -1;
                tone_->setCurrentIndex(0);
                services_.message(QStringLiteral("再生音を「歌声」に設定しました。"), this);
            }
            plugin_->setText(chosen);
        }
    }
    // A new (or unchanged) plug-in is measured again when it is loaded.
    record_.delayCorrection = -1;
    showDelay();
}

void SettingsDialog::autoAdjust() {
    autoAdjust_->setEnabled(false);
    browse_->setEnabled(false);
    ok_->setEnabled(false);
    measuring_ = true;
    if (requestMeasure_)
        requestMeasure_(this);
    else
        measurementDone();
}

void SettingsDialog::measurementDone() {
    measuring_ = false;
    showDelay();
    autoAdjust_->setEnabled(true);
    browse_->setEnabled(true);
    ok_->setEnabled(true);
}

void SettingsDialog::accept() {
    if (measuring_) return;
    record_.playbackSound = tone_->currentIndex() == 0 ? -1 : 64;
    record_.danceMode = dance_->currentIndex();
    record_.guideVolume = guide_->value();
    record_.showLyrics = showLyric_->isChecked() ? 1 : 0;
    QDialog::accept();
}

void SettingsDialog::reject() {
    // The measurement writes into the record this dialog shows.
    if (measuring_) return;
    QDialog::reject();
}

} // namespace harmolin::gui
