// Writes the desktop icons of the installed program into a hicolor theme tree:
// the bird as scalable SVG and as PNGs from 16 to 256 pixels, all drawn from
// the same shapes as the window icon, so the tree carries no binary pictures.
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdio>

#include "app/art/BirdArt.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER ICON-NAME\n", argv[0]);
        return 2;
    }
    const QString root = QFile::decodeName(argv[1]);
    const QString name = QFile::decodeName(argv[2]);

    const QString scalable = root + "/scalable/apps";
    QFile svg(scalable + "/" + name + ".svg");
    const std::string document = app::BirdSvg();
    if (!QDir().mkpath(scalable) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(document.data(), static_cast<qint64>(document.size())) !=
            static_cast<qint64>(document.size()) ||
        !svg.flush()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = root + QString("/%1x%1/apps").arg(size);
        const QString file = folder + "/" + name + ".png";
        if (!QDir().mkpath(folder) || !app::BirdImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
