// The window's artwork from the data folder's "art", with plain drawn
// stand-ins for pictures that are missing.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace harmolin::gui {

// art/<name>.png scaled to size; a plain panel when the file is missing.
[[nodiscard]] QImage loadButtonArt(const QString& dataFolder, const QString& name, QSize size, bool pressed);
// art/background.png; a quiet gradient when missing.
[[nodiscard]] QImage loadBackground(const QString& dataFolder, QSize size);
// art/harmolin.png; a drawn note when missing.
[[nodiscard]] QIcon loadIcon(const QString& dataFolder);

} // namespace harmolin::gui
