// Renders the bundled sample page: a few paragraphs of serif text on a light,
// unevenly lit, slightly noisy background, saved as a binary greyscale PNM.
// The output depends only on the fonts installed; the noise has a fixed seed.
//
//   make-sample-page samples/sample-page.pnm
//   make-sample-page --text     prints the page's text, one paragraph a line
//                               (the reference for OCR measurements)

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 900;
constexpr int kMargin = 90;
constexpr int kBodyXHeight = 16;  // pixels, as in a page scanned at about 300 dpi
constexpr std::uint32_t kNoiseSeed = 20240611;

const char* const kHeading = "Keeping a Garden Journal";
const char* const kParagraphs[] = {
    "A garden journal need not be a grand affair. A plain notebook, a pencil and a few minutes at the end "
    "of the day are enough to record what was planted, when the first shoots appeared and which corner of "
    "the bed stayed wet long after the rain had stopped.",
    "Over a season these small entries add up to something useful. They show which seeds came up slowly, "
    "which plants were troubled by slugs, and how late the last frost arrived. Read again in the winter, "
    "they make the next spring much easier to plan.",
    "It helps to date every page and to sketch the beds from above. Nobody else needs to understand the "
    "notes; they only have to remind the writer of what happened.",
};

QFont serifFont(int pixelSize, bool bold) {
  QFont font("Nimbus Roman");
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

// The smallest serif body font whose x-height reaches kBodyXHeight.
QFont bodyFont() {
  int pixelSize = 20;
  while (QFontMetrics(serifFont(pixelSize, false)).xHeight() < kBodyXHeight) ++pixelSize;
  return serifFont(pixelSize, false);
}

// Dark ink on white: 255 where there is no text. False when the text does not fit.
bool renderText(QImage& ink) {
  ink = QImage(kWidth, kHeight, QImage::Format_Grayscale8);
  ink.fill(255);
  QPainter painter(&ink);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(QColor(35, 35, 35));

  const QFont body = bodyFont();
  const int lineSpacing = QFontMetrics(body).lineSpacing();
  QRect area(kMargin, kMargin, kWidth - 2 * kMargin, kHeight - 2 * kMargin);
  QRect used;

  painter.setFont(serifFont(body.pixelSize() * 3 / 2, true));
  painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop, kHeading, &used);
  area.setTop(used.bottom() + lineSpacing);

  painter.setFont(body);
  for (const char* paragraph : kParagraphs) {
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextDontClip, paragraph, &used);
    area.setTop(used.bottom() + lineSpacing / 2);
  }
  return used.bottom() < kHeight - kMargin;
}

// Light paper: brighter at the top left, a shadow along the right edge, two
// faint stains, and a little noise.
double paperAt(int x, int y) {
  const double fx = double(x) / kWidth;
  const double fy = double(y) / kHeight;
  double level = 236.0 - 14.0 * fx - 10.0 * fy;
  level -= 18.0 * std::exp(-(1.0 - fx) * 25.0);
  const auto stain = [&](double cx, double cy, double radius, double depth) {
    const double dx = x - cx;
    const double dy = y - cy;
    return depth * std::exp(-(dx * dx + dy * dy) / (radius * radius));
  };
  level -= stain(300, 650, 170, 16) + stain(950, 230, 120, 12);
  return level;
}

QImage renderPage(const QImage& ink) {
  QImage page(kWidth, kHeight, QImage::Format_Grayscale8);
  std::mt19937 noise(kNoiseSeed);
  for (int y = 0; y < kHeight; ++y) {
    const std::uint8_t* inkRow = ink.constScanLine(y);
    std::uint8_t* pageRow = page.scanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      const double grey = paperAt(x, y) * inkRow[x] / 255.0 + double(noise() % 11) - 5.0;
      pageRow[x] = static_cast<std::uint8_t>(std::clamp(std::lround(grey), 0L, 255L));
    }
  }
  return page;
}

bool writeP5(const QImage& page, const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool written = std::fprintf(file, "P5\n%d %d\n255\n", page.width(), page.height()) > 0;
  for (int y = 0; written && y < page.height(); ++y) {
    written = std::fwrite(page.constScanLine(y), 1, std::size_t(page.width()), file) == std::size_t(page.width());
  }
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-page OUTPUT.pnm | --text\n");
    return 2;
  }
  if (std::string_view(argv[1]) == "--text") {
    std::printf("%s\n", kHeading);
    for (const char* paragraph : kParagraphs) std::printf("%s\n", paragraph);
    return 0;
  }
  // Renders without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  QImage ink;
  if (!renderText(ink)) {
    std::fprintf(stderr, "make-sample-page: the text does not fit on the page\n");
    return 1;
  }
  if (!writeP5(renderPage(ink), argv[1])) {
    std::fprintf(stderr, "make-sample-page: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
