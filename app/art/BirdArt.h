#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <string>
#include <vector>

class QPainter;

namespace app {

// The program's bird on its perch, the one picture behind the window icon, the
// tray icon and the desktop icons. It is kept as a list of simple shapes in a
// 32 x 32 box so the painter and the SVG writer draw exactly the same bird.
struct BirdShape {
    enum class Kind { Ellipse, Polygon, Line };
    Kind Shape = Kind::Ellipse;
    // Ellipse: centre, then the two radii as a point. Polygon: its corners.
    // Line: its two ends (drawn with round caps).
    std::vector<QPointF> Points;
    QColor Fill;  // invalid: not filled
    QColor Stroke;
    double StrokeWidth = 1;
};

const std::vector<BirdShape>& BirdShapes();

// Paints the bird into a size x size square at the painter's origin. A grey bird
// (greyed) stands for paused monitoring in the tray.
void PaintBird(QPainter& painter, double size, bool greyed = false);

// The bird as an image of size x size pixels with a transparent background.
QImage BirdImage(int size, bool greyed = false);

// The same shapes as a standalone SVG document, scalable from the 32 x 32 box.
std::string BirdSvg();

}  // namespace app
