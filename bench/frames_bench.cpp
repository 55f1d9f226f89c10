// The frame builder: its comparison of two pictures of the screen that are
// alike, the case of every unchanged hinted pixel, against the floor, a loop
// that only reads both pictures once (the C runtime's memcmp beside it;
// under Wine a plain loop, too weak to be the floor); what the places it
// watches after a drag cost beside what they capture; what capturing a
// rectangle of the screen through GDI costs; and a typing frame against a
// capture and comparison of the whole screen.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "frames/changed_areas.h"
#include "frames/frame_builder.h"
#include "frames/gdi_screen_capture.h"
#include "measure.h"
#include "util/unique_handle.h"

using lumo::region::Rect;

namespace {

// What keeps the compiler from dropping a read whose result goes nowhere.
volatile std::uint64_t sink;

std::uint64_t readBoth(const std::uint32_t *a, const std::uint32_t *b, size_t count) {
  std::uint64_t any = 0;
  for (size_t i = 0; i < count; ++i) {
    any |= a[i] ^ b[i];
  }
  return any;
}

void compareEqualPictures() {
  constexpr int kWidth = 1920;
  constexpr int kHeight = 1080;
  lumo::frames::PixelImage now(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      now.at(x, y) = static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u) & 0xFFFFFF;
    }
  }
  const lumo::frames::PixelImage before = now;
  const size_t count = static_cast<size_t>(kWidth) * kHeight;
  std::vector<Rect> boxes;
  const std::vector<double> ns = lumo::bench::compare(
      {[&] {
         boxes.clear();
         lumo::frames::appendChangedBoxes(now, before, now.bounds(), {16, 16}, &boxes);
         sink = boxes.size();
       },
       [&] { sink = readBoth(now.row(0), before.row(0), count); },
       [&] { sink = std::memcmp(now.row(0), before.row(0), count * 4); }},
      5, 21);
  const double perMegapixel = 1e6 * (count / 1e6);
  std::printf("%-34s %12s %12s %12s %8s\n", "equal pictures, ms per megapixel", "comparison",
              "floor", "memcmp", "ratio");
  std::printf("%-34s %12.3f %12.3f %12.3f %8.2f\n", "1920x1080, 16-pixel tiles",
              ns[0] / perMegapixel, ns[1] / perMegapixel, ns[2] / perMegapixel, ns[0] / ns[1]);
  std::printf("median of 21 runs of 5 comparisons; floor: one read of both pictures\n\n");
}

// A screen in memory: what the builder costs beside the capture.
class MemoryScreen : public lumo::frames::ScreenCapture {
public:
  MemoryScreen(int width, int height) : pixels(width, height) {}
  bool capture(const Rect &onScreen, lumo::frames::PixelImage *into, int intoLeft,
               int intoTop) override {
    lumo::frames::copyPixels(pixels, onScreen, into, intoLeft, intoTop);
    return true;
  }
  lumo::frames::PixelImage pixels;
};

// One change in every 16-pixel cell of a 3840x2160 screen, the whole screen
// hinted, with and without some 50 places a dragged window left, watched:
// they should cost what they capture and compare, nothing more.
void watchedPlaces() {
  constexpr int kWidth = 3840;
  constexpr int kHeight = 2160;
  MemoryScreen screen(kWidth, kHeight);
  lumo::frames::FrameBuilderSettings settings;
  settings.lateDrawing = std::chrono::hours(1);
  lumo::frames::FrameBuilder plain(&screen, settings);
  lumo::frames::FrameBuilder watching(&screen, settings);
  const Rect all(0, 0, kWidth, kHeight);
  lumo::frames::Clock::time_point now;
  plain.build({all, false, {}, {}}, now);
  watching.build({all, false, {}, {}}, now);
  for (int step = 0; step < 50; ++step) {
    const Rect left(400 + 24 * step, 600, 424 + 24 * step, 1400);
    watching.build({all, false, {left}, {}, {left}}, now += std::chrono::milliseconds(16));
  }
  std::uint32_t colour = 0;
  lumo::frames::FrameCounts counts[2];
  const auto frame = [&](lumo::frames::FrameBuilder *builder, lumo::frames::FrameCounts *into) {
    ++colour;
    for (int y = 0; y < kHeight; y += 16) {
      for (int x = 0; x < kWidth; x += 16) {
        screen.pixels.at(x + colour % 16, y + colour / 16 % 16) = colour;
      }
    }
    *into = builder->build({all, false, {all}, {}}, now += std::chrono::milliseconds(16)).counts;
  };
  const std::vector<double> ns = lumo::bench::compare(
      {[&] { frame(&plain, &counts[0]); }, [&] { frame(&watching, &counts[1]); }}, 3, 11);
  std::printf("%-34s %12s %12s %12s\n", "a drag's watches, 3840x2160", "ms per frame", "captured",
              "ns per pixel");
  const char *names[] = {"every cell changed", "the same, 50 places watched"};
  double perPixel[2];
  for (int i = 0; i < 2; ++i) {
    perPixel[i] = ns[i] / static_cast<double>(counts[i].captured);
    std::printf("%-34s %12.2f %12llu %12.3f\n", names[i], ns[i] / 1e6,
                static_cast<unsigned long long>(counts[i].captured), perPixel[i]);
  }
  std::printf("per captured pixel, watching against not: %.3f; median of 11 runs of 3 frames\n\n",
              perPixel[1] / perPixel[0]);
}

// Nanoseconds per call of each candidate with the caches cold before every
// call, as a server's encoding and sending between two frames leaves them;
// median of the repetitions.
std::vector<double> coldCalls(const std::vector<std::function<void()>> &candidates,
                              int repetitions) {
  std::vector<std::uint8_t> otherWork(64 << 20);
  std::vector<std::vector<double>> runs(candidates.size());
  for (int r = 0; r < repetitions; ++r) {
    for (size_t c = 0; c < candidates.size(); ++c) {
      std::memset(otherWork.data(), r + static_cast<int>(c), otherWork.size());
      sink = otherWork[otherWork.size() / 2];
      runs[c].push_back(lumo::bench::nanosPerCall(1, candidates[c]));
    }
  }
  std::vector<double> medians;
  for (const std::vector<double> &run : runs) {
    medians.push_back(lumo::bench::median(run));
  }
  return medians;
}

void captureCosts(const Rect &screen) {
  lumo::frames::GdiScreenCapture capture;
  lumo::frames::PixelImage into(screen.getWidth(), screen.getHeight());
  const Rect sizes[] = {Rect(0, 0, 64, 16), Rect(0, 0, 600, 400), screen};
  std::printf("%-34s %12s %12s %12s %12s\n", "GDI capture", "ms per call", "ns per pixel",
              "cold: ms", "ns per pixel");
  for (const Rect &size : sizes) {
    const Rect onScreen(screen.left, screen.top, screen.left + size.getWidth(),
                        screen.top + size.getHeight());
    const std::function<void()> call = [&] { capture.capture(onScreen, &into, 0, 0); };
    const double warm = lumo::bench::compare({call}, 3, 11)[0];
    const double cold = coldCalls({call}, 21)[0];
    const double pixels = static_cast<double>(size.getWidth()) * size.getHeight();
    char name[40];
    std::snprintf(name, sizeof name, "%dx%d", size.getWidth(), size.getHeight());
    std::printf("%-34s %12.3f %12.2f %12.3f %12.2f\n", name, warm / 1e6, warm / pixels, cold / 1e6,
                cold / pixels);
  }
  std::printf("median of 11 runs of 3 captures; cold: of 21, 64 MB written before each\n\n");
}

// A window of the benchmark's own at the editor's place, whose text has one
// character typed before each frame.
class Editor {
public:
  explicit Editor(const Rect &place) {
    WNDCLASSW type = {};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    type.lpszClassName = L"LumoBenchEditor";
    RegisterClassW(&type);
    window_.reset(CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                  place.left, place.top, place.getWidth(), place.getHeight(),
                                  nullptr, nullptr, type.hInstance, nullptr));
    UpdateWindow(window_.get());
  }

  void type() {
    const HDC dc = GetDC(window_.get());
    const wchar_t typed = static_cast<wchar_t>(L'a' + typed_++ % 26);
    TextOutW(dc, 210, 150, &typed, 1);
    ReleaseDC(window_.get(), dc);
    // Wine puts what was drawn on the screen while the thread takes its
    // messages.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
  }

private:
  lumo::UniqueWindow window_;
  int typed_ = 0;
};

// A person typing in an editor: the hooks hint its client area and the
// tracker the caret, and one character changed.
void typingFrame(const Rect &screen) {
  lumo::frames::GdiScreenCapture capture;
  lumo::frames::FrameBuilder builder(&capture);
  Editor editor(Rect(200, 150, 800, 550));
  const lumo::frames::FrameHints first{screen, false, {}, {}};
  builder.build(first);
  const lumo::frames::FrameHints typing{
      screen, false, {Rect(200, 150, 800, 550), Rect(410, 300, 412, 318)}, {}};
  lumo::frames::PixelImage whole(screen.getWidth(), screen.getHeight());
  std::vector<Rect> boxes;
  const auto typed = [&] {
    editor.type();
    sink = builder.build(typing).counts.sent;
  };
  const auto wholeScreen = [&] {
    editor.type();
    capture.capture(screen, &whole, 0, 0);
    boxes.clear();
    lumo::frames::appendChangedBoxes(whole, builder.replica(), whole.bounds(), {16, 16}, &boxes);
    sink = boxes.size();
  };
  const std::vector<std::function<void()>> frames = {typed, wholeScreen};
  const std::vector<double> warm = lumo::bench::compare(frames, 3, 11);
  const std::vector<double> cold = coldCalls(frames, 21);
  const double megapixels = screen.getWidth() * static_cast<double>(screen.getHeight()) / 1e6;
  std::printf("%-34s %12s %12s %8s\n", "ms per frame", "typing", "whole screen", "ratio");
  std::printf("%-34s %12.3f %12.3f %8.3f\n", "600x400 client area and a caret", warm[0] / 1e6,
              warm[1] / 1e6, warm[0] / warm[1]);
  std::printf("%-34s %12.3f %12.3f %8.3f\n", "the same, caches cold", cold[0] / 1e6, cold[1] / 1e6,
              cold[0] / cold[1]);
  std::printf("whole screen: capture and comparison, %.2f ms per megapixel (%dx%d)\n",
              warm[1] / 1e6 / megapixels, screen.getWidth(), screen.getHeight());
  std::printf("median of 11 runs of 3 frames; cold: of 21 frames, 64 MB written before each\n");
}

}  // namespace

int main() {
  compareEqualPictures();
  watchedPlaces();
  const Rect screen(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                    GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN));
  captureCosts(screen);
  typingFrame(screen);
  return 0;
}
