#include "gui/PictureButton.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace harmolin::gui {
namespace {

constexpr double kBlankWidth = 8.0;

} // namespace

PictureButton::PictureButton(QWidget* parent, const QRect& rect, QImage normal, QImage pressed,
                             QString caption, std::function<void()> command)
    : COffScreenPicture(parent, rect), normal_(std::move(normal)), pressedImage_(std::move(pressed)),
      caption_(std::move(caption)), command_(std::move(command)) {
    setObjectName(caption_.simplified());
    setCursor(Qt::PointingHandCursor);
    onLeftDown([this](QPoint, std::intptr_t) { trigger(); });
    paintButton();
}

void PictureButton::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    paintButton();
}

void PictureButton::trigger() {
    if (!isEnabled() || !command_) return;
    QPointer<PictureButton> self(this);
    command_();
    // A modal dialog run by the command took the mouse release.
    if (self && pressed() && !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(-1, -1), QPointF(-1, -1), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        mouseReleaseEvent(&up);
    }
    if (self) paintButton();
}

void PictureButton::paintButton() {
    QImage& c = canvas();
    if (c.isNull()) return;
    QPainter p(&c);
    const QImage& picture = pressed() ? pressedImage_ : normal_;
    if (picture.isNull())
        c.fill(QColor(220, 230, 210));
    else
        p.drawImage(0, 0, picture);
    if (!caption_.isEmpty()) {
        QFont font = p.font();
        font.setPixelSize(14);
        font.setBold(true);
        // The leading blanks place a caption clear of the picture's symbol:
        // they need the width a blank has in the classic dialog font.
        font.setWordSpacing(kBlankWidth - QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
        p.setFont(font);
        p.setPen(isEnabled() ? kEnabledText : kDisabledText);
        // The caption's leading blanks place it; the rectangle is left-aligned.
        p.drawText(QRect(QPoint(2, 2), QPoint(209, 27)),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
    }
    p.end();
    update();
}

void PictureButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) paintButton();
    COffScreenPicture::changeEvent(event);
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is a second press.
    mousePressEvent(event);
}

} // namespace harmolin::gui
