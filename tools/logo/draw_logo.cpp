// Draws the product's logo, a butterfly on a transparent ground, and writes it
// as an RGBA PNG: draw_logo <output.png> [size]. Anti-aliased by 4 x 4
// supersampling. Built and run at build time, so the image is the project's
// own drawing, regenerated from this file.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Color {
  double r, g, b, a;
};

Color mix(Color x, Color y, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

// Colour of the butterfly at (x, y) in a unit square (origin at the centre,
// y upwards), or alpha 0 outside it. Drawn back to front.
struct Ellipse {
  double cx, cy, rx, ry, angle;
  double distance(double x, double y) const {  // < 1 inside
    const double c = std::cos(angle), s = std::sin(angle);
    const double u = ((x - cx) * c + (y - cy) * s) / rx;
    const double v = (-(x - cx) * s + (y - cy) * c) / ry;
    return std::sqrt(u * u + v * v);
  }
};

const Color kDeep{0.10, 0.18, 0.52, 1};
const Color kBlue{0.13, 0.51, 0.98, 1};
const Color kSky{0.45, 0.80, 1.00, 1};
const Color kEdge{0.05, 0.08, 0.22, 1};
const Color kBody{0.05, 0.07, 0.16, 1};
const Color kSpot{0.93, 0.97, 1.00, 1};

Color wing(const Ellipse& shape, double x, double y, double spotScale) {
  const double d = shape.distance(x, y);
  if (d >= 1) return {0, 0, 0, 0};
  if (d > 0.90) return kEdge;
  Color color = mix(kSky, kBlue, d * 1.1);
  color = mix(color, kDeep, (d - 0.55) * 2.5);
  const Ellipse spot{shape.cx + (shape.cx > 0 ? 1 : -1) * shape.rx * 0.25, shape.cy + shape.ry * 0.1 * spotScale,
                     shape.rx * 0.16, shape.ry * 0.16, 0};
  if (spot.distance(x, y) < 1) color = kSpot;
  return color;
}

// Distance from (x, y) to the quadratic Bezier p0-p1-p2, by sampling.
double curveDistance(double x, double y, std::array<double, 6> p) {
  double best = 1e9;
  for (int i = 0; i <= 64; ++i) {
    const double t = i / 64.0, u = 1 - t;
    const double bx = u * u * p[0] + 2 * u * t * p[2] + t * t * p[4];
    const double by = u * u * p[1] + 2 * u * t * p[3] + t * t * p[5];
    best = std::min(best, std::hypot(x - bx, y - by));
  }
  return best;
}

Color sample(double x, double y) {
  const double ax = std::abs(x);  // the butterfly is symmetric about the body
  Color color{0, 0, 0, 0};
  const auto over = [&](Color top) {
    if (top.a > 0) color = top;
  };
  over(wing({0.24, -0.20, 0.20, 0.15, -0.55}, ax, y, -1));
  over(wing({0.25, 0.13, 0.27, 0.21, 0.45}, ax, y, 1));
  // Antennae with round tips.
  const bool nearAntenna = ax < 0.17 && y > 0.2 && y < 0.47;
  if (nearAntenna && curveDistance(ax, y, {0.015, 0.24, 0.05, 0.38, 0.13, 0.43}) < 0.011) color = kBody;
  if (std::hypot(ax - 0.13, y - 0.43) < 0.026) color = kBody;
  // Body and head.
  if (Ellipse{0, -0.04, 0.036, 0.27, 0}.distance(x, y) < 1) color = kBody;
  if (std::hypot(x, y - 0.25) < 0.052) color = kBody;
  return color;
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
  const auto be32 = [&](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>((v >> shift) & 0xff));
  };
  be32(static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string encodePNG(int size, const std::vector<uint8_t>& rgba) {
  std::string raw;
  for (int row = 0; row < size; ++row) {
    raw.push_back(0);  // no filter
    raw.append(reinterpret_cast<const char*>(&rgba[static_cast<std::size_t>(row) * size * 4]), size * 4);
  }
  uLongf length = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &length, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 9);
  compressed.resize(length);

  std::string header;
  for (int value : {size, size}) {
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<char>((value >> shift) & 0xff));
  }
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", "");
  return png;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: draw_logo <output.png> [size]\n");
    return 2;
  }
  const int size = argc > 2 ? std::max(64, std::atoi(argv[2])) : 1024;
  constexpr int kSamples = 4;
  std::vector<uint8_t> rgba(static_cast<std::size_t>(size) * size * 4);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px + (sx + 0.5) / kSamples) / size - 0.5;
          const double y = 0.5 - (py + (sy + 0.5) / kSamples) / size;
          const Color c = sample(x * 1.08, y * 1.08 + 0.02);
          r += c.r * c.a, g += c.g * c.a, b += c.b * c.a, a += c.a;
        }
      }
      uint8_t* pixel = &rgba[(static_cast<std::size_t>(py) * size + px) * 4];
      const double n = kSamples * kSamples;
      pixel[0] = static_cast<uint8_t>(a > 0 ? std::lround(255 * r / a) : 0);
      pixel[1] = static_cast<uint8_t>(a > 0 ? std::lround(255 * g / a) : 0);
      pixel[2] = static_cast<uint8_t>(a > 0 ? std::lround(255 * b / a) : 0);
      pixel[3] = static_cast<uint8_t>(std::lround(255 * a / n));
    }
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << encodePNG(size, rgba);
  return out ? 0 : 1;
}
