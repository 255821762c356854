// Writes the application icon at the hicolor theme's sizes:
//   orbis-icon-sizes SOURCE.png OUTDIR NAME SIZE...
// gives OUTDIR/hicolor/<S>x<S>/apps/NAME.png for each size. The icon is pixel
// art, so it is enlarged by whole factors pixel for pixel, and only made
// smaller by smooth scaling.
#include <QDir>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: orbis-icon-sizes SOURCE.png OUTDIR NAME SIZE...\n");
        return 2;
    }
    QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "orbis-icon-sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    source = source.convertToFormat(QImage::Format_ARGB32);
    for (int i = 4; i < argc; ++i) {
        int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "orbis-icon-sizes: bad size %s\n", argv[i]);
            return 2;
        }
        bool whole = size >= source.width() && size % source.width() == 0;
        QImage icon = source.scaled(size, size, Qt::KeepAspectRatio,
                                    whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        QString dir = QString("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QString file = dir + "/" + QString::fromLocal8Bit(argv[3]) + ".png";
        if (!QDir().mkpath(dir) || !icon.save(file, "PNG")) {
            std::fprintf(stderr, "orbis-icon-sizes: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
