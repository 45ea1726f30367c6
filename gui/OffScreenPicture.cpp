#include "gui/OffScreenPicture.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <atomic>
#include <mutex>

namespace harmolin::gui {
namespace {

const char* pictureMessage(std::uint32_t code) {
    return (code & 0xFFFF) == errc::kPictureDrawFailed ? "描画エラー。" : nullptr;
}

void registerPictureMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerMessages(ErrorClass::Ospc, pictureMessage, "COffScreenPictureでエラーが発生しました。");
    });
}

std::atomic<bool> drawErrorShown{false};

} // namespace

COffScreenPicture::COffScreenPicture(QWidget* parent, const QRect& rect, std::intptr_t user)
    : QWidget(parent), canvas_(rect.size(), QImage::Format_RGB32), user_(user) {
    setGeometry(rect);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (canvas_.isNull())
        reportPictureError(errc::kPictureDrawFailed);
    else
        canvas_.fill(Qt::black);
}

void COffScreenPicture::reportPictureError(std::uint32_t code) {
    registerPictureMessages();
    if (code == errc::kPictureRearm) {
        drawErrorShown = false;
        return;
    }
    if (code == errc::kPictureDrawFailed && drawErrorShown.exchange(true)) return;
    reportError(ErrorClass::Ospc, code);
}

void COffScreenPicture::redraw() {
    if (paint_ && !canvas_.isNull()) paint_(canvas_, user_);
    update();
}

void COffScreenPicture::onMouseMove(PointCallback cb) {
    move_ = std::move(cb);
    setMouseTracking(static_cast<bool>(move_));
}

void COffScreenPicture::onDropFile(DropCallback cb) {
    drop_ = std::move(cb);
    setAcceptDrops(static_cast<bool>(drop_));
}

void COffScreenPicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect r = event->rect();
    painter.drawImage(r, canvas_, r);
}

void COffScreenPicture::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        pressedChanged();
        if (leftDown_) leftDown_(at, user_);
    } else if (event->button() == Qt::RightButton) {
        if (rightDown_)
            rightDown_(at, user_);
        else
            event->ignore(); // lets the window offer its menu
    }
}

void COffScreenPicture::release(QPoint at) {
    if (!pressed_) return;
    pressed_ = false;
    pressedChanged();
    if (leftUp_) leftUp_(at, user_);
}

void COffScreenPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) release(event->position().toPoint());
}

void COffScreenPicture::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    // Qt keeps the mouse with the pressed control: leaving it is seen here.
    if (pressed_ && !rect().contains(at)) {
        release(QPoint(-1, -1));
        return;
    }
    if (move_) move_(at, user_);
}

void COffScreenPicture::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && doubleClick_)
        doubleClick_(event->position().toPoint(), user_);
    else
        QWidget::mouseDoubleClickEvent(event);
}

void COffScreenPicture::leaveEvent(QEvent* event) {
    if (pressed_) release(QPoint(-1, -1));
    QWidget::leaveEvent(event);
}

void COffScreenPicture::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (drop_ && urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void COffScreenPicture::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!drop_ || urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    drop_(urls.front().toLocalFile(), user_);
}

} // namespace harmolin::gui
