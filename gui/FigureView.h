// The dancing figure's picture control: the figure as the dance logic
// composes it, and the lyric ticker drawn over it in white.
#pragma once

#include "app/Dance.h"
#include "gui/OffScreenPicture.h"

namespace harmolin::gui {

class FigureView : public COffScreenPicture {
    Q_OBJECT
  public:
    FigureView(QWidget* parent, const QRect& rect, DanceFigure& figure);

    // Draws the figure's current state into the memory picture and shows it.
    void refresh();
    [[nodiscard]] DanceFigure& figure() { return figure_; }
    void setShowLyrics(bool on);

    // The ticker's font: one that has Japanese glyphs.
    [[nodiscard]] static QFont tickerFont();

  private:
    DanceFigure& figure_;
    bool showLyrics_ = false;
};

} // namespace harmolin::gui
