// A picture control that draws into its own memory image and copies it to
// the screen: the window background, the picture buttons and the figure.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace harmolin::gui {

class COffScreenPicture : public QWidget {
    Q_OBJECT
  public:
    // Every callback gets the position in the control and the user value.
    using PointCallback = std::function<void(QPoint position, std::intptr_t user)>;
    using PaintCallback = std::function<void(QImage& canvas, std::intptr_t user)>;
    using DropCallback = std::function<void(const QString& path, std::intptr_t user)>;

    COffScreenPicture(QWidget* parent, const QRect& rect, std::intptr_t user = 0);

    // The memory picture; draw into it, then redraw().
    [[nodiscard]] QImage& canvas() { return canvas_; }
    [[nodiscard]] const QImage& canvas() const { return canvas_; }
    // Runs the paint callback (if any) into the memory picture and copies it
    // to the screen.
    void redraw();

    [[nodiscard]] bool pressed() const { return pressed_; }

    void onPaint(PaintCallback cb) { paint_ = std::move(cb); }
    void onLeftDown(PointCallback cb) { leftDown_ = std::move(cb); }
    // Also called with (-1, -1) when the mouse leaves while pressed.
    void onLeftUp(PointCallback cb) { leftUp_ = std::move(cb); }
    void onMouseMove(PointCallback cb);
    void onDoubleClick(PointCallback cb) { doubleClick_ = std::move(cb); }
    void onRightDown(PointCallback cb) { rightDown_ = std::move(cb); }
    // Only a drop of exactly one local file is passed on.
    void onDropFile(DropCallback cb);

    // Reports an error of the picture: code 1 is a drawing failure, shown
    // once until code 0 resets it.
    static void reportPictureError(std::uint32_t code);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // The pressed state changed (a button redraws itself).
    virtual void pressedChanged() {}

  private:
    void release(QPoint at);

    QImage canvas_;
    std::intptr_t user_;
    bool pressed_ = false;
    PaintCallback paint_;
    PointCallback leftDown_, leftUp_, move_, doubleClick_, rightDown_;
    DropCallback drop_;
};

} // namespace harmolin::gui
