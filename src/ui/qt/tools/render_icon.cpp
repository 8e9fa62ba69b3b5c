// Writes the application icon into an icon theme folder at the sizes desktops look for:
// render_icon DIR  ->  DIR/<n>x<n>/apps/cardwright.png. Run at build time for the package.
#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

#include "ui/qt/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_icon THEME-FOLDER\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString("%1/%2x%2/apps").arg(root).arg(side);
    const QString path = folder + "/cardwright.png";
    if (!QDir().mkpath(folder) || !cw::ApplicationIconImage(side).save(path, "PNG")) {
      std::fprintf(stderr, "render_icon: cannot write %s\n", path.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
