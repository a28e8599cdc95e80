#include "Artwork.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

// Flags stay sharp in a 28 x 20 label at three to four times device pixel ratio.
const QSize flagSize(120, 90);

bool isCountryCode(const QString &baseName)
{
    static const QStringList notCountries = {"eo", "eu", "zz"};
    return baseName.size() == 2 && baseName.at(0).isLower() && baseName.at(1).isLower() &&
           !notCountries.contains(baseName);
}

bool save(const QImage &image, const QString &path, QStringList &entries, const QDir &root)
{
    QDir().mkpath(QFileInfo(path).path());
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    entries << root.relativeFilePath(path);
    return true;
}

QImage renderFlag(const QString &svgPath)
{
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid())
        return {};
    QImage image(flagSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), flagSize));
    return image;
}

bool writeFlags(const QDir &root, const QString &flagDir, QStringList &entries)
{
    const QFileInfoList svgs = QDir(flagDir).entryInfoList({"*.svg"}, QDir::Files, QDir::Name);
    int written = 0;
    for (const QFileInfo &svg : svgs) {
        if (!isCountryCode(svg.completeBaseName()))
            continue;
        const QString path =
            root.filePath("images/banners/" + svg.completeBaseName().toUpper() + ".png");
        if (!save(renderFlag(svg.filePath()), path, entries, root))
            return false;
        ++written;
    }
    if (written == 0) {
        std::fprintf(stderr, "no flags found in %s\n", qPrintable(flagDir));
        return false;
    }
    return save(Artwork::unknownFlag(flagSize), root.filePath("images/banners/UNKN.png"), entries,
                root);
}

bool writeArtwork(const QDir &root, QStringList &entries)
{
    for (const QString &name : Artwork::buttonNames()) {
        if (!save(Artwork::draw(name), root.filePath("images/buttons/" + name + ".png"), entries,
                  root))
            return false;
    }
    for (const QString &name : Artwork::brandNames()) {
        if (!save(Artwork::draw(name), root.filePath("images/" + name + ".png"), entries, root))
            return false;
    }
    return true;
}

bool copyFont(const QDir &root, const QString &fontFile, QStringList &entries)
{
    const QString target = root.filePath("fonts/RobotoCondensed.ttf");
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(target);
    if (!QFile::copy(fontFile, target)) {
        std::fprintf(stderr, "cannot copy font %s\n", qPrintable(fontFile));
        return false;
    }
    entries << root.relativeFilePath(target);
    QFontDatabase::addApplicationFont(target);
    return true;
}

bool writeQrc(const QDir &root, const QStringList &entries)
{
    QFile qrc(root.filePath("generated.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const QString &entry : entries)
        out << "    <file>" << entry << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    return true;
}

// The icon theme entries a desktop looks up by the application's id.
bool writeIconTheme(const QDir &root)
{
    const QString name = QStringLiteral("org.corvane.Corvane");
    for (const int pixels : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString path =
            root.filePath(QStringLiteral("hicolor/%1x%1/apps/%2.png").arg(pixels).arg(name));
        QDir().mkpath(QFileInfo(path).path());
        if (!Artwork::applicationIcon(pixels).save(path, "PNG"))
            return false;
    }
    const QString scalable = root.filePath("hicolor/scalable/apps/" + name + ".svg");
    QDir().mkpath(QFileInfo(scalable).path());
    return Artwork::writeApplicationIconSvg(scalable);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--icons")
        return writeIconTheme(QDir(QString::fromLocal8Bit(argv[2]))) ? 0 : 1;
    if (argc != 4) {
        std::fprintf(stderr, "usage: corvane_assetgen OUTPUT_DIR FONT_FILE FLAG_SVG_DIR\n"
                             "       corvane_assetgen --icons ICON_THEME_DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(root.path());
    QStringList entries;
    const bool ok = copyFont(root, QString::fromLocal8Bit(argv[2]), entries) &&
                    writeFlags(root, QString::fromLocal8Bit(argv[3]), entries) &&
                    writeArtwork(root, entries) && writeQrc(root, entries);
    return ok ? 0 : 1;
}
