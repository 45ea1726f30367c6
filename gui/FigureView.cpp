#include "gui/FigureView.h"

#include "base/TextCodec.h"

#include <QPainter>

namespace harmolin::gui {

FigureView::FigureView(QWidget* parent, const QRect& rect, DanceFigure& figure)
    : COffScreenPicture(parent, rect), figure_(figure) {
    setObjectName(QStringLiteral("figure"));
    onPaint([this](QImage& canvas, std::intptr_t) {
        const RgbImage image = figure_.render();
        canvas.fill(Qt::black);
        const int w = std::min(image.width, canvas.width());
        const int h = std::min(image.height, canvas.height());
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = 0xFF000000u | (image.at(x, y) & 0xFFFFFFu);
        }
        const std::string ticker = figure_.ticker();
        if (!showLyrics_ || ticker.empty()) return;
        QPainter p(&canvas);
        p.setFont(tickerFont());
        p.setPen(Qt::white);
        const QRect band(QPoint(16, canvas.height() - 32), QPoint(canvas.width() - 17, canvas.height() - 17));
        p.drawText(band, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromStdString(cp932ToUtf8(ticker)));
    });
    refresh();
}

void FigureView::refresh() {
    redraw();
}

void FigureView::setShowLyrics(bool on) {
    showLyrics_ = on;
    figure_.setShowLyrics(on);
    refresh();
}

QFont FigureView::tickerFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(14);
    return font;
}

} // namespace harmolin::gui
