#include "app/gui/Banner.h"

#include <QPainter>

#include "app/gui/ImageList.h"

namespace app {

void TBanner::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (FPicture.isNull() || !qFuzzyCompare(FPicture.devicePixelRatio(), ratio))
        FPicture = BannerPicture(ratio);
    QPainter painter(this);
    painter.drawPixmap(0, 0, FPicture);
}

}  // namespace app
