#include "gui/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace harmolin::gui {
namespace {

QImage fromFile(const QString& dataFolder, const QString& file, QSize size) {
    if (dataFolder.isEmpty()) return {};
    QImage image(dataFolder + QStringLiteral("/art/") + file);
    if (image.isNull()) return {};
    if (image.size() != size) image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QImage loadButtonArt(const QString& dataFolder, const QString& name, QSize size, bool pressed) {
    QImage image = fromFile(dataFolder,
                            name + (pressed ? QStringLiteral("_pressed.png") : QStringLiteral(".png")), size);
    if (!image.isNull()) return image;
    image = QImage(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, pressed ? QColor(170, 200, 150) : QColor(240, 248, 225));
    g.setColorAt(1, pressed ? QColor(200, 225, 180) : QColor(195, 220, 170));
    p.fillRect(image.rect(), g);
    p.setPen(QColor(60, 110, 60));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    if (name == QLatin1String("quit")) {
        // A cross, so the button without caption still says what it does.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 100, 0), 5, Qt::SolidLine, Qt::RoundCap));
        const int m = qMin(size.width(), size.height()) / 4;
        const QRect r = image.rect().adjusted(m, m, -m, -m);
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomLeft());
    }
    return image;
}

QImage loadBackground(const QString& dataFolder, QSize size) {
    QImage image = fromFile(dataFolder, QStringLiteral("background.png"), size);
    if (!image.isNull()) return image;
    image = QImage(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(225, 238, 215));
    g.setColorAt(1, QColor(175, 205, 160));
    p.fillRect(image.rect(), g);
    return image;
}

QIcon loadIcon(const QString& dataFolder) {
    if (!dataFolder.isEmpty()) {
        QIcon icon(dataFolder + QStringLiteral("/art/harmolin.png"));
        if (!icon.availableSizes().isEmpty()) return icon;
    }
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(0, 100, 0));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(7, 19, 10, 8));
    p.fillRect(QRectF(15, 5, 2.5, 18), Qt::white);
    p.fillRect(QRectF(15, 5, 10, 3), Qt::white);
    return QIcon(pixmap);
}

} // namespace harmolin::gui
