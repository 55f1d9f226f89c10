#include "damage_map.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>

#include "screen_capture.h"
#include "region/rect_geometry.h"
#include "util/text_format.h"
#include "util/unique_handle.h"

using Microsoft::WRL::ComPtr;

namespace lumo {
namespace tools {

namespace {

// As BGRX.
const std::uint32_t kOutline = 0x00FF0000;  // red
const std::uint32_t kMissed = 0x0000A0FF;   // a light blue, far from any red
const std::uint32_t kAdded = 0x0000E040;    // green, far from both
const std::uint32_t kMoved = 0x00FFD000;    // yellow, far from all three
// Violet: over the reports' red it turns purple, and it is far from the
// missed changes' light blue.
const std::uint32_t kSent = 0x00A040FF;
const std::uint32_t kLabelText = 0x00FFFFFF;
const std::uint32_t kLabelBackground = 0x00000000;

// Shading weights, 0 to 255: tints light enough to see the screen through.
const unsigned leastWeight = 32;
const unsigned weightRange = 112;
const unsigned largeAreaWeight = 40;
const unsigned missedWeight = 176;
const unsigned sentWeight = 96;

unsigned long mostReports(const std::vector<Damage> &damage) {
  unsigned long most = 1;
  for (const Damage &d : damage) {
    most = std::max(most, d.count);
  }
  return most;
}

unsigned shadeWeight(unsigned long count, unsigned long most) {
  return leastWeight + static_cast<unsigned>(weightRange * count / most);
}

// Moves a pixel towards a colour by weight (0 to 256).
std::uint32_t towards(std::uint32_t pixel, std::uint32_t colour, unsigned weight) {
  const unsigned keep = 256 - weight;
  std::uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned from = (pixel >> shift) & 0xFF;
    const unsigned to = (colour >> shift) & 0xFF;
    result |= ((from * keep + to * weight) >> 8) << shift;
  }
  return result;
}

// GDI takes colours as RGB, the pixels are BGRX.
COLORREF colourRef(std::uint32_t bgrx) {
  return RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
}

void drawLabel(HDC dc, int x, int y, const std::wstring &text) {
  SetTextColor(dc, colourRef(kLabelText));
  SetBkColor(dc, colourRef(kLabelBackground));
  SetBkMode(dc, OPAQUE);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// Each distinct rectangle's count, in its top-left corner where it fits;
// the smaller ones last, so that they are not hidden by the larger.
void labelCounts(HDC dc, const std::vector<Damage> &damage) {
  std::vector<const Damage *> order;
  for (const Damage &d : damage) {
    order.push_back(&d);
  }
  std::sort(order.begin(), order.end(), [](const Damage *a, const Damage *b) {
    return static_cast<long long>(a->rect.getWidth()) * a->rect.getHeight() >
           static_cast<long long>(b->rect.getWidth()) * b->rect.getHeight();
  });
  for (const Damage *d : order) {
    const std::wstring text = std::to_wstring(d->count);
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (d->rect.getWidth() >= size.cx + 4 && d->rect.getHeight() >= size.cy + 4) {
      drawLabel(dc, d->rect.left + 2, d->rect.top + 2, text);
    }
  }
}

struct LegendLine {
  std::wstring text;
  std::uint32_t swatch;
};

// The sent pixels and the hinted ones are the frames line's, in its words.
std::vector<LegendLine> legendLines(unsigned long most, const VerifyMarks &marks) {
  std::vector<LegendLine> lines = {
      {L"Reported rectangles: outlined in red, with their report count", kOutline},
      {L"Tint: from 1 report (lightest) to " + std::to_wstring(most) +
           (most == 1 ? L" report" : L" reports") + L" (deepest)",
       towards(0, kOutline, shadeWeight(1, 2))},
  };
  if (marks.sent != nullptr) {
    lines.push_back({L"Violet: sent by the frame builder; hinted " +
                         std::to_wstring(marks.hintedPixels) + L" pixels, sent " +
                         std::to_wstring(marks.sentPixels),
                     kSent});
  }
  if (marks.missed != nullptr) {
    lines.push_back({L"Blue: changed on screen, covered by no report", kMissed});
  }
  if (marks.added != nullptr) {
    lines.push_back(
        {L"Green outlines: added by the damage tracker (moves, carets, menus)", kAdded});
  }
  if (marks.moves != nullptr) {
    lines.push_back({L"Yellow: copied by a move, from where to where, the two joined", kMoved});
  }
  return lines;
}

// What the marks mean, in the bottom-right corner.
void drawLegend(HDC dc, int width, int height, unsigned long most, const VerifyMarks &marks) {
  const std::vector<LegendLine> lines = legendLines(most, marks);
  int lineHeight = 0;
  int widest = 0;
  for (const LegendLine &legend : lines) {
    const std::wstring &line = legend.text;
    SIZE size = {};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    widest = std::max<int>(widest, size.cx);
    lineHeight = std::max<int>(lineHeight, size.cy);
  }
  const int swatch = lineHeight;
  const int boxWidth = widest + swatch + 16;
  const int boxHeight = static_cast<int>(lines.size()) * (lineHeight + 4) + 8;
  const int left = std::max(0, width - boxWidth - 8);
  const int top = std::max(0, height - boxHeight - 8);
  RECT box = {left, top, left + boxWidth, top + boxHeight};
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  for (size_t i = 0; i < lines.size(); ++i) {
    const int y = top + 4 + static_cast<int>(i) * (lineHeight + 4);
    RECT mark = {left + 4, y, left + 4 + swatch, y + lineHeight};
    const UniqueBrush brush(CreateSolidBrush(colourRef(lines[i].swatch)));
    FillRect(dc, &mark, brush.get());
    drawLabel(dc, left + 8 + swatch, y, lines[i].text);
  }
}

// COM for this thread, as long as the map is being written: true while this
// thread's use of it is to be ended.
void endComUse(bool) { CoUninitialize(); }
using UniqueComUse = UniqueAny<bool, &endComUse>;

std::string failed(const char *step, HRESULT result) {
  return format("%s failed (HRESULT 0x%08lX)", step, static_cast<unsigned long>(result));
}

// Encodes the picture as PNG with the platform's image codecs.
std::string writePng(const std::wstring &path, const ScreenCapture &picture) {
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
    return failed("CoInitializeEx", started);
  }
  const UniqueComUse com(SUCCEEDED(started));
  const int width = picture.width();
  const int height = picture.height();
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  const UINT stride = static_cast<UINT>(width) * 4;
  HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&factory));
  if (FAILED(result)) return failed("creating the imaging factory", result);
  if (FAILED(result = factory->CreateStream(&stream))) return failed("CreateStream", result);
  if (FAILED(result = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) {
    return failed("opening the output file", result);
  }
  if (FAILED(result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder))) {
    return failed("creating the PNG encoder", result);
  }
  if (FAILED(result = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(result = encoder->CreateNewFrame(&frame, nullptr)) ||
      FAILED(result = frame->Initialize(nullptr)) ||
      FAILED(result = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
      FAILED(result = frame->SetPixelFormat(&format))) {
    return failed("setting up the PNG frame", result);
  }
  if (format != GUID_WICPixelFormat32bppBGR) {
    return "the PNG encoder does not take 32-bit pixels";
  }
  if (FAILED(result = frame->WritePixels(static_cast<UINT>(height), stride, stride * height,
                                         reinterpret_cast<BYTE *>(picture.pixels()))) ||
      FAILED(result = frame->Commit()) || FAILED(result = encoder->Commit())) {
    return failed("writing the PNG", result);
  }
  return std::string();
}

// The screen beneath the marks in dimmed grey, so that every window, menu
// and text stays legible and no colour of its own passes for a mark.
void fadeToGrey(std::uint32_t *pixels, int width, int height) {
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    const std::uint32_t p = pixels[i];
    const unsigned luminance =
        (((p >> 16) & 0xFF) * 77 + ((p >> 8) & 0xFF) * 150 + (p & 0xFF) * 29) >> 8;
    const unsigned grey = 40 + luminance * 150 / 255;
    pixels[i] = grey << 16 | grey << 8 | grey;
  }
}

// A rectangle reported once is lightly tinted; the most reported one
// clearly. Where rectangles overlap, the most reported one's tint counts,
// so that a stack of them does not hide the screen. One that covers most
// of the screen is only faintly tinted.
void shade(std::uint32_t *pixels, int width, int height, const std::vector<Damage> &damage,
           unsigned long most) {
  std::vector<std::uint8_t> weights(static_cast<size_t>(width) * height, 0);
  for (const Damage &d : damage) {
    const region::Rect c = clipped(d.rect, width, height);
    if (c.isEmpty()) {
      continue;
    }
    unsigned weight = shadeWeight(d.count, most);
    if (static_cast<long long>(c.getWidth()) * c.getHeight() * 2 >
        static_cast<long long>(width) * height) {
      weight = std::min(weight, largeAreaWeight);
    }
    for (int y = c.top; y < c.bottom; ++y) {
      std::uint8_t *row = weights.data() + static_cast<size_t>(y) * width;
      for (int x = c.left; x < c.right; ++x) {
        row[x] = static_cast<std::uint8_t>(std::max<unsigned>(row[x], weight));
      }
    }
  }
  for (size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] != 0) {
      pixels[i] = towards(pixels[i], kOutline, weights[i]);
    }
  }
}

// A mask of another size than the picture's is of another screen, and is
// left out.
void tintMask(std::uint32_t *pixels, int width, int height, const std::vector<std::uint8_t> *mask,
              std::uint32_t colour, unsigned weight) {
  if (mask == nullptr || mask->size() != static_cast<size_t>(width) * height) {
    return;
  }
  for (size_t i = 0; i < mask->size(); ++i) {
    if ((*mask)[i]) {
      pixels[i] = towards(pixels[i], colour, weight);
    }
  }
}

// Edges cut off by the picture's border are not drawn.
void outline(std::uint32_t *pixels, int width, int height, const region::Rect &rect,
             std::uint32_t colour) {
  const region::Rect c = clipped(rect, width, height);
  if (c.isEmpty()) {
    return;
  }
  for (int x = c.left; x < c.right; ++x) {
    if (rect.top >= 0) {
      pixels[static_cast<size_t>(c.top) * width + x] = colour;
    }
    if (rect.bottom <= height) {
      pixels[static_cast<size_t>(c.bottom - 1) * width + x] = colour;
    }
  }
  for (int y = c.top; y < c.bottom; ++y) {
    if (rect.left >= 0) {
      pixels[static_cast<size_t>(y) * width + c.left] = colour;
    }
    if (rect.right <= width) {
      pixels[static_cast<size_t>(y) * width + c.right - 1] = colour;
    }
  }
}

// A line from the centre of one rectangle to the centre of the other, as
// many steps as its longer side, the points off the picture left out.
void join(std::uint32_t *pixels, int width, int height, const region::Rect &from,
          const region::Rect &to) {
  const int x0 = (from.left + from.right) / 2;
  const int y0 = (from.top + from.bottom) / 2;
  const int dx = (to.left + to.right) / 2 - x0;
  const int dy = (to.top + to.bottom) / 2 - y0;
  const int steps = std::max(std::abs(dx), std::abs(dy));
  for (int i = 0; i <= steps; ++i) {
    const int x = steps == 0 ? x0 : x0 + dx * i / steps;
    const int y = steps == 0 ? y0 : y0 + dy * i / steps;
    if (x >= 0 && x < width && y >= 0 && y < height) {
      pixels[static_cast<size_t>(y) * width + x] = kMoved;
    }
  }
}

}  // namespace

void paintDamage(std::uint32_t *pixels, int width, int height, const std::vector<Damage> &damage,
                 const VerifyMarks &marks) {
  const unsigned long most = mostReports(damage);
  shade(pixels, width, height, damage, most);
  tintMask(pixels, width, height, marks.sent, kSent, sentWeight);
  tintMask(pixels, width, height, marks.missed, kMissed, missedWeight);
  // Outlines last, so that no shading covers them.
  for (const Damage &d : damage) {
    outline(pixels, width, height, d.rect, kOutline);
  }
  if (marks.added != nullptr) {
    for (const region::Rect &r : *marks.added) {
      outline(pixels, width, height, r, kAdded);
    }
  }
  if (marks.moves != nullptr) {
    for (const damage::WindowMove &move : *marks.moves) {
      outline(pixels, width, height, move.from, kMoved);
      outline(pixels, width, height, move.to, kMoved);
      join(pixels, width, height, move.from, move.to);
    }
  }
}

std::string writeDamageMap(const std::wstring &path, const std::vector<Damage> &damage,
                           const VerifyMarks &marks) {
  ScreenCapture picture;
  if (!picture.ready()) {
    return picture.error();
  }
  if (!picture.capture()) {
    return "cannot capture the screen";
  }
  fadeToGrey(picture.pixels(), picture.width(), picture.height());
  paintDamage(picture.pixels(), picture.width(), picture.height(), damage, marks);
  SelectObject(picture.dc(), GetStockObject(DEFAULT_GUI_FONT));
  labelCounts(picture.dc(), damage);
  drawLegend(picture.dc(), picture.width(), picture.height(), mostReports(damage), marks);
  GdiFlush();
  return writePng(path, picture);
}

}  // namespace tools
}  // namespace lumo
