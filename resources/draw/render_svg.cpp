// Renders SVG drawings to PNG at exact pixel sizes through Qt's SVG image
// plugin, so the pictures are drawn as vectors at their final size instead of
// being scaled from a bitmap.
// Usage: render_svg IN.svg OUT.png WIDTH HEIGHT [IN.svg OUT.png WIDTH HEIGHT ...]
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() % 4 != 0) {
        err << "usage: render_svg IN.svg OUT.png WIDTH HEIGHT [...]\n";
        return 2;
    }
    if (!QImageReader::supportedImageFormats().contains("svg")) {
        err << "Qt has no SVG image plugin (Debian package libqt5svg5)\n";
        return 1;
    }
    for (int i = 0; i < args.size(); i += 4) {
        QImageReader reader(args[i], "svg");
        reader.setScaledSize(QSize(args[i + 2].toInt(), args[i + 3].toInt()));
        QImage image = reader.read();
        if (image.isNull()) {
            err << args[i] << ": " << reader.errorString() << "\n";
            return 1;
        }
        image = image.convertToFormat(QImage::Format_ARGB32);
        if (!image.save(args[i + 1], "PNG")) {
            err << args[i + 1] << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
