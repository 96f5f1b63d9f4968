#include "app/gui/CaptionWidth.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace app {

int CaptionWidth(const QString& caption, const QWidget& window) {
    int textWidth = 0;
    int lineHeight = 0;
    for (QFont font : {QFontDatabase::systemFont(QFontDatabase::TitleFont), window.font()}) {
        font.setBold(true);
        const QFontMetrics metrics(font);
        textWidth = std::max(textWidth, metrics.horizontalAdvance(caption));
        lineHeight = std::max(lineHeight, metrics.height());
    }
    // A window icon at the left and minimise, maximise and close at the right,
    // each a square about as tall as the title with a little space around it,
    // and a margin at either end of the caption.
    const int decorations = 4 * (lineHeight + 4) + lineHeight;
    int wanted = textWidth + decorations;
    if (const QScreen* screen = window.screen())
        wanted = std::min(wanted, screen->availableGeometry().width());
    return wanted;
}

}  // namespace app
