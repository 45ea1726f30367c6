// The "Configration" dialog: edits the settings record in place. The plug-in
// path changes only through the browse button, the delay only through the
// measurement; OK takes the tone, dance mode, guide volume and ticker switch.
#pragma once

#include "app/Settings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace harmolin::gui {

class GuiServices;

class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // requestMeasure starts the delay measurement; the window calls
    // measurementDone on this dialog when it ends.
    SettingsDialog(SettingsRecord& record, GuiServices& services,
                   std::function<void(SettingsDialog*)> requestMeasure, QWidget* parent = nullptr);

    void browse();
    void autoAdjust();
    void measurementDone();
    [[nodiscard]] bool measuring() const { return measuring_; }

    [[nodiscard]] QLineEdit* pluginEdit() const { return plugin_; }
    [[nodiscard]] QLineEdit* delayEdit() const { return delay_; }
    [[nodiscard]] QPushButton* browseButton() const { return browse_; }
    [[nodiscard]] QPushButton* autoAdjustButton() const { return autoAdjust_; }
    [[nodiscard]] QPushButton* okButton() const { return ok_; }
    [[nodiscard]] QComboBox* toneCombo() const { return tone_; }
    [[nodiscard]] QComboBox* danceCombo() const { return dance_; }
    [[nodiscard]] QSpinBox* guideSpin() const { return guide_; }
    [[nodiscard]] QCheckBox* showLyricCheck() const { return showLyric_; }

  public slots:
    void accept() override;
    void reject() override;

  private:
    void showDelay();

    SettingsRecord& record_;
    GuiServices& services_;
    std::function<void(SettingsDialog*)> requestMeasure_;
    bool measuring_ = false;
    QLineEdit* plugin_;
    QPushButton* browse_;
    QLineEdit* delay_;
    QPushButton* autoAdjust_;
    QComboBox* tone_;
    QComboBox* dance_;
    QSpinBox* guide_;
    QCheckBox* showLyric_;
    QPushButton* ok_;
};

} // namespace harmolin::gui
