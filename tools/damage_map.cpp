#include "damage_map.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>

#include "util/unique_handle.h"
#include "virtual_screen.h"

using Microsoft::WRL::ComPtr;

namespace lumo {
namespace tools {

namespace {

const std::uint32_t kOutline = 0x00FF0000;  // red, as BGRX

// Moves a pixel towards red by weight (0 to 256).
std::uint32_t towardsRed(std::uint32_t pixel, unsigned weight) {
  const unsigned red = (pixel >> 16) & 0xFF;
  const unsigned green = (pixel >> 8) & 0xFF;
  const unsigned blue = pixel & 0xFF;
  const unsigned keep = 256 - weight;
  return ((red * keep + 255 * weight) >> 8) << 16 | ((green * keep) >> 8) << 8 |
         ((blue * keep) >> 8);
}

struct Clipped {
  int left, top, right, bottom;
  bool empty() const { return left >= right || top >= bottom; }
};

Clipped clip(const region::Rect &r, int width, int height) {
  return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
          std::min(r.bottom, height)};
}

// COM for this thread, as long as the map is being written.
class ComScope {
public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }
  HRESULT result() const { return result_ == RPC_E_CHANGED_MODE ? S_OK : result_; }

private:
  HRESULT result_;
};

std::string failed(const char *step, HRESULT result) {
  char text[96];
  snprintf(text, sizeof text, "%s failed (HRESULT 0x%08lX)", step,
           static_cast<unsigned long>(result));
  return text;
}

}  // namespace

void paintDamage(std::uint32_t *pixels, int width, int height,
                 const std::vector<Damage> &damage) {
  unsigned long most = 1;
  for (const Damage &d : damage) {
    most = std::max(most, d.count);
  }
  for (const Damage &d : damage) {
    const Clipped c = clip(d.rect, width, height);
    if (c.empty()) {
      continue;
    }
    // A rectangle reported once is tinted; the most reported one is
    // nearly opaque. Overlaps add up.
    const unsigned weight = 40 + static_cast<unsigned>(160 * d.count / most);
    for (int y = c.top; y < c.bottom; ++y) {
      std::uint32_t *row = pixels + static_cast<size_t>(y) * width;
      for (int x = c.left; x < c.right; ++x) {
        row[x] = towardsRed(row[x], weight);
      }
    }
  }
  // Outlines last, so that no shading covers them; edges cut off by the
  // picture's border are not drawn.
  for (const Damage &d : damage) {
    const Clipped c = clip(d.rect, width, height);
    if (c.empty()) {
      continue;
    }
    for (int x = c.left; x < c.right; ++x) {
      if (d.rect.top >= 0) {
        pixels[static_cast<size_t>(c.top) * width + x] = kOutline;
      }
      if (d.rect.bottom <= height) {
        pixels[static_cast<size_t>(c.bottom - 1) * width + x] = kOutline;
      }
    }
    for (int y = c.top; y < c.bottom; ++y) {
      if (d.rect.left >= 0) {
        pixels[static_cast<size_t>(y) * width + c.left] = kOutline;
      }
      if (d.rect.right <= width) {
        pixels[static_cast<size_t>(y) * width + c.right - 1] = kOutline;
      }
    }
  }
}

std::string writeDamageMap(const std::wstring &path, const std::vector<Damage> &damage) {
  const VirtualScreen screenArea = virtualScreen();
  const int width = screenArea.width;
  const int height = screenArea.height;
  if (width <= 0 || height <= 0) {
    return "the virtual screen has no size";
  }

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, like the screen
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  const UniqueScreenDc screen(GetDC(nullptr));
  const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  const UniqueBitmap bitmap(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen || !memory || !bitmap) {
    return "cannot make a bitmap of the screen";
  }
  const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  const bool captured =
      BitBlt(memory.get(), 0, 0, width, height, screen.get(), screenArea.origin.x,
             screenArea.origin.y, SRCCOPY | CAPTUREBLT);
  SelectObject(memory.get(), previous);
  if (!captured) {
    return "cannot capture the screen";
  }
  GdiFlush();
  auto *pixels = static_cast<std::uint32_t *>(bits);
  paintDamage(pixels, width, height, damage);

  const ComScope com;
  if (FAILED(com.result())) {
    return failed("CoInitializeEx", com.result());
  }
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
                                         static_cast<BYTE *>(bits))) ||
      FAILED(result = frame->Commit()) || FAILED(result = encoder->Commit())) {
    return failed("writing the PNG", result);
  }
  return std::string();
}

}  // namespace tools
}  // namespace lumo
