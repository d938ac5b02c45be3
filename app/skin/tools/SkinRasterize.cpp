// Renders every SVG drawing below <art folder> into a PNG of the same path
// below <skin folder>, at the drawing's own width and height:
//   skin_rasterize app/skin/art app/skin/default
// A developer tool: the PNGs it writes are part of the skin.
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <art folder> <skin folder>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir art(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
    const QDir skin(QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath());
    int written = 0;
    QDirIterator it(art.path(), {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString svgPath = it.next();
        QSvgRenderer renderer(svgPath);
        if (!renderer.isValid()) {
            std::fprintf(stderr, "not a drawing: %s\n", qPrintable(svgPath));
            return 1;
        }
        QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        QString relative = art.relativeFilePath(svgPath);
        relative.chop(4);
        const QString out = skin.filePath(relative + ".png");
        skin.mkpath(QFileInfo(out).path());
        if (!image.save(out, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
            return 1;
        }
        ++written;
    }
    std::printf("%d images\n", written);
    return 0;
}
