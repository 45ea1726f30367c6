// A button drawn from two pictures (normal and pressed) with a caption over
// them. The command runs when the mouse button goes down.
#pragma once

#include "gui/OffScreenPicture.h"

#include <QColor>

#include <functional>

namespace harmolin::gui {

class PictureButton : public COffScreenPicture {
    Q_OBJECT
  public:
    static constexpr QColor kEnabledText{0, 100, 0};
    static constexpr QColor kDisabledText{100, 100, 50};

    PictureButton(QWidget* parent, const QRect& rect, QImage normal, QImage pressed, QString caption,
                  std::function<void()> command);

    [[nodiscard]] QString caption() const { return caption_; }
    void setCaption(const QString& caption);
    // Runs the command as a press would (when enabled).
    void trigger();
    void paintButton();

  protected:
    void pressedChanged() override { paintButton(); }
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QImage normal_;
    QImage pressedImage_;
    QString caption_;
    std::function<void()> command_;
};

} // namespace harmolin::gui
