// Writes the pictures of the Windows window's resources, drawn by the same code the Qt window
// draws with: the application icon, and the pass mark icon, the fail mark bitmap and the three
// step labels at each scale of PICTURE_SCALES (NAME-PERCENT.ico/.bmp), each painted at that
// size (fonts and strokes at the scale, as the Qt window paints for a high-DPI screen), never
// resampled. A host program run at build time, before windres:
//
//   cardwright_artwork OUTDIR
//
// Icons are 32-bit ICO files (one BGRA image per size, with its AND mask); bitmaps are 32-bit
// BMP files whose fourth byte is straight alpha, which the window blends onto the dialog's face
// colour when it loads them.

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ui/qt/artwork.h"
#include "ui/win32/resource_ids.h"

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

// A BITMAPINFOHEADER and the pixels, bottom row first, as B, G, R, A. `heightFactor` is 2 for
// an icon image, whose header counts the AND mask's rows too.
std::string DibBits(const QImage& source, int heightFactor) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  std::string out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(image.width()));
  Put32(out, static_cast<uint32_t>(image.height() * heightFactor));
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);  // BI_RGB
  Put32(out, static_cast<uint32_t>(image.width() * image.height() * 4));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = image.height() - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      out += static_cast<char>(qBlue(row[x]));
      out += static_cast<char>(qGreen(row[x]));
      out += static_cast<char>(qRed(row[x]));
      out += static_cast<char>(qAlpha(row[x]));
    }
  }
  return out;
}

std::string Bmp(const QImage& image) {
  const std::string dib = DibBits(image, 1);
  std::string out = "BM";
  Put32(out, static_cast<uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, 14 + 40);
  return out + dib;
}

// The AND mask: a set bit where the pixel is fully transparent, rows padded to 32 bits.
std::string AndMask(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const int stride = ((image.width() + 31) / 32) * 4;
  std::string out;
  for (int y = image.height() - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(stride), '\0');
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(pixels[x]) == 0) row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    out += row;
  }
  return out;
}

std::string Ico(const std::vector<QImage>& images) {
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<uint16_t>(images.size()));
  std::vector<std::string> bodies;
  for (const QImage& image : images) bodies.push_back(DibBits(image, 2) + AndMask(image));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(images[i].width() >= 256 ? 0 : images[i].width());
    out += static_cast<char>(images[i].height() >= 256 ? 0 : images[i].height());
    out += '\0';  // no palette
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<uint32_t>(bodies[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(bodies[i].size());
  }
  for (const std::string& body : bodies) out += body;
  return out;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

// A step label of `width` x `height` at 100 %, painted at `ratio` times that: its words in the
// bold dark blue of the Qt window's captions, left-aligned and centred vertically on a
// transparent ground.
QImage Label(const QString& text, int width, int height, qreal ratio) {
  QImage image(QSize(width, height) * ratio, QImage::Format_ARGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(height - 4);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0x1d, 0x3d, 0x6b));
  p.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cardwright_artwork OUTDIR\n");
    return 2;
  }
  QApplication app(argc, argv);
  const std::string dir = argv[1];
  std::vector<QImage> appSizes;
  for (int side : {16, 32, 48}) appSizes.push_back(cw::ApplicationIcon().pixmap(side).toImage());
  bool ok = Write(dir + "/app.ico", Ico(appSizes));
  // The step labels at 100 %: as wide as their words, 16 pixels high.
  const struct {
    const char* name;
    const char* text;
    int width;
  } labels[] = {{"step1", "Step 1: Choose FWP Data File", 217},
                {"step2", "Step 2: Choose Compact Flash Drive", 265},
                {"step3", "Step 3: Store and/or Verify", 195}};
  // The marks at 100 %: the dialog's 20 x 20 and 31 x 25 units for the usual 8 pt font (6 x 13
  // pixel units). A scale multiplies each side, rounded.
  for (int percent : {PICTURE_SCALES}) {
    const qreal ratio = percent / 100.0;
    const std::string at = "-" + std::to_string(percent);
    const QImage pass = cw::PassMarkPixmap(QSize(32, 32), ratio).toImage();
    ok = ok && Write(dir + "/pass" + at + ".ico", Ico({pass})) &&
         Write(dir + "/fail" + at + ".bmp", Bmp(cw::FailMarkPixmap(QSize(46, 40), ratio).toImage()));
    for (const auto& label : labels) {
      ok = ok && Write(dir + "/" + label.name + at + ".bmp",
                       Bmp(Label(QString::fromUtf8(label.text), label.width, 16, ratio)));
    }
  }
  if (!ok) {
    std::fprintf(stderr, "cardwright_artwork: cannot write the pictures into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
