// Draws the two picture assets of the main window with libgd:
//   cursor.png  32 x 32 colour pointer, hot spot (9, 5) at the arrow's tip
//   busy.gif    214 x 15 progress bar, 30 frames of 80 ms, looping forever
#include <gd.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool WritePng(gdImagePtr image, const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  gdImageSaveAlpha(image, 1);
  gdImagePng(image, out);
  return std::fclose(out) == 0;
}

void DrawCursor(const char* path) {
  gdImagePtr image = gdImageCreateTrueColor(32, 32);
  gdImageAlphaBlending(image, 0);
  gdImageFilledRectangle(image, 0, 0, 31, 31, gdTrueColorAlpha(0, 0, 0, gdAlphaTransparent));
  gdImageAlphaBlending(image, 1);
  // An arrow whose tip sits on the hot spot (9, 5).
  gdPoint arrow[] = {{9, 5}, {9, 25}, {14, 20}, {18, 29}, {21, 28}, {17, 19}, {24, 19}};
  const int n = sizeof arrow / sizeof arrow[0];
  gdImageFilledPolygon(image, arrow, n, gdTrueColor(255, 200, 40));
  gdImageSetThickness(image, 1);
  gdImagePolygon(image, arrow, n, gdTrueColor(60, 20, 0));
  gdImageSetPixel(image, 9, 5, gdTrueColor(255, 255, 255));
  WritePng(image, path);
  gdImageDestroy(image);
}

void DrawBusyGif(const char* path) {
  const int width = 214, height = 15, frames = 30;
  FILE* out = std::fopen(path, "wb");
  if (!out) std::exit(1);
  gdImagePtr first = nullptr;
  for (int f = 0; f < frames; ++f) {
    gdImagePtr image = gdImageCreate(width, height);
    const int background = gdImageColorAllocate(image, 24, 24, 32);
    const int border = gdImageColorAllocate(image, 150, 150, 60);
    const int lit = gdImageColorAllocate(image, 255, 220, 40);
    const int dim = gdImageColorAllocate(image, 90, 70, 20);
    gdImageFilledRectangle(image, 0, 0, width - 1, height - 1, background);
    gdImageRectangle(image, 0, 0, width - 1, height - 1, border);
    // Blocks run left to right; a bright band of five blocks travels along.
    const int blockWidth = 10, gap = 3, blocks = (width - 4) / (blockWidth + gap);
    for (int b = 0; b < blocks; ++b) {
      const int x = 3 + b * (blockWidth + gap);
      const int head = f * blocks / frames;
      const bool inBand = b <= head && b > head - 5;
      gdImageFilledRectangle(image, x, 3, x + blockWidth - 1, height - 4, inBand ? lit : dim);
    }
    if (f == 0) gdImageGifAnimBegin(image, out, 1, 0);
    gdImageGifAnimAdd(image, out, 1, 0, 0, 8, gdDisposalNone, nullptr);
    if (first)
      gdImageDestroy(image);
    else
      first = image;
  }
  gdImageGifAnimEnd(out);
  std::fclose(out);
  gdImageDestroy(first);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_images CURSOR.png BUSY.gif\n");
    return 2;
  }
  DrawCursor(argv[1]);
  DrawBusyGif(argv[2]);
  return 0;
}
