#include "app/art/BirdArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace app {
namespace {

BirdShape Ellipse(QPointF centre, double rx, double ry, QColor fill, QColor stroke) {
    return {BirdShape::Kind::Ellipse, {centre, QPointF(rx, ry)}, fill, stroke, 1};
}

BirdShape Polygon(std::vector<QPointF> corners, QColor fill, QColor stroke) {
    return {BirdShape::Kind::Polygon, std::move(corners), fill, stroke, 1};
}

BirdShape Line(QPointF from, QPointF to, QColor stroke, double width) {
    return {BirdShape::Kind::Line, {from, to}, QColor(), stroke, width};
}

QColor Greyed(const QColor& colour) {
    if (!colour.isValid())
        return colour;
    const int grey = qGray(colour.rgb());
    return QColor(grey, grey, grey, colour.alpha());
}

std::string SvgColour(const QColor& colour) {
    return colour.isValid() ? colour.name().toStdString() : "none";
}

// Always with a decimal point, whatever the locale.
std::string Number(double value) {
    return QString::number(value, 'g', 6).toStdString();
}

}  // namespace

const std::vector<BirdShape>& BirdShapes() {
    static const std::vector<BirdShape> shapes = [] {
        const QColor feathers(70, 110, 170);
        const QColor outline(30, 50, 90);
        const QColor beak(240, 160, 40);
        const QColor branch(95, 65, 35);
        const QColor wing(55, 90, 150);
        return std::vector<BirdShape>{
            Polygon({{7, 16}, {1, 12.5}, {2.5, 20.5}}, wing, outline),  // tail
            Ellipse({14, 18}, 10, 8, feathers, outline),                // body
            Ellipse({23, 11}, 5.5, 5.5, feathers, outline),             // head
            Polygon({{28, 9}, {31, 12}, {27.5, 13}}, beak, outline),    // beak
            Polygon({{18, 15.5}, {11, 14.5}, {5.5, 17.5}, {11, 21}, {16.5, 19.5}}, wing,
                    outline),                                           // wing
            Ellipse({24.5, 10}, 1.6, 1.6, Qt::white, QColor()),         // eye
            Ellipse({25, 10}, 0.8, 0.8, QColor(20, 20, 30), QColor()),  // pupil
            Line({2, 29}, {30, 27}, branch, 3),                         // perch
        };
    }();
    return shapes;
}

void PaintBird(QPainter& painter, double size, bool greyed) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    for (const BirdShape& shape : BirdShapes()) {
        const QColor fill = greyed ? Greyed(shape.Fill) : shape.Fill;
        const QColor stroke = greyed ? Greyed(shape.Stroke) : shape.Stroke;
        painter.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
        if (stroke.isValid())
            painter.setPen(
                QPen(stroke, shape.StrokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        else
            painter.setPen(Qt::NoPen);
        const std::vector<QPointF>& p = shape.Points;
        switch (shape.Shape) {
            case BirdShape::Kind::Ellipse:
                painter.drawEllipse(p[0], p[1].x(), p[1].y());
                break;
            case BirdShape::Kind::Polygon:
                painter.drawPolygon(p.data(), static_cast<int>(p.size()));
                break;
            case BirdShape::Kind::Line:
                painter.drawLine(p[0], p[1]);
                break;
        }
    }
    painter.restore();
}

QImage BirdImage(int size, bool greyed) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintBird(painter, size, greyed);
    return image;
}

std::string BirdSvg() {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 32 32\">\n";
    for (const BirdShape& shape : BirdShapes()) {
        const std::vector<QPointF>& p = shape.Points;
        std::string paint = " fill=\"" + SvgColour(shape.Fill) + "\"";
        if (shape.Stroke.isValid())
            paint += " stroke=\"" + SvgColour(shape.Stroke) + "\" stroke-width=\"" +
                     Number(shape.StrokeWidth) +
                     "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"";
        switch (shape.Shape) {
            case BirdShape::Kind::Ellipse:
                svg += "  <ellipse cx=\"" + Number(p[0].x()) + "\" cy=\"" + Number(p[0].y()) +
                       "\" rx=\"" + Number(p[1].x()) + "\" ry=\"" + Number(p[1].y()) + "\"" +
                       paint + "/>\n";
                break;
            case BirdShape::Kind::Polygon: {
                std::string points;
                for (const QPointF& corner : p)
                    points +=
                        (points.empty() ? "" : " ") + Number(corner.x()) + "," + Number(corner.y());
                svg += "  <polygon points=\"" + points + "\"" + paint + "/>\n";
                break;
            }
            case BirdShape::Kind::Line:
                svg += "  <line x1=\"" + Number(p[0].x()) + "\" y1=\"" + Number(p[0].y()) +
                       "\" x2=\"" + Number(p[1].x()) + "\" y2=\"" + Number(p[1].y()) + "\"" +
                       paint + "/>\n";
                break;
        }
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace app
