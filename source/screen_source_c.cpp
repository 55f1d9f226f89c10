#define LUMO_SOURCE_BUILDING
#include "source/screen_source_c.h"

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "source/screen_source.h"
#include "util/text_conversion.h"

namespace {

// The layout other compilers give these structures: natural alignment.
constexpr bool k64 = sizeof(void *) == 8;
static_assert(sizeof(lumo_rect) == 16 && sizeof(lumo_move) == 24, "");
static_assert(sizeof(lumo_area) == (k64 ? 32 : 24) && sizeof(lumo_counts) == 40, "");
static_assert(offsetof(lumo_frame, virtual_screen) == 20, "");
static_assert(offsetof(lumo_frame, moves) == (k64 ? 40 : 36), "");
static_assert(offsetof(lumo_frame, areas) == (k64 ? 56 : 44), "");
static_assert(offsetof(lumo_frame, counts) == (k64 ? 72 : 56), "");
static_assert(sizeof(lumo_frame) == (k64 ? 112 : 96), "");
static_assert(sizeof(lumo_source_settings) == (k64 ? 32 : 20), "");

// The settings as the first header had them; later fields take defaults
// where the caller's structure ends before them.
constexpr std::size_t kFirstSettingsSize = offsetof(lumo_source_settings, tick_interval_ms) + 4;

}  // namespace

namespace lumo {
namespace source {
namespace {

lumo_result fail(lumo_error *error, lumo_result result, const char *text) noexcept {
  if (error != nullptr) {
    std::size_t length = std::strlen(text);
    if (length >= sizeof(error->text)) {
      length = sizeof(error->text) - 1;
      // Not inside a UTF-8 sequence: back to its lead byte.
      while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
      }
    }
    std::memcpy(error->text, text, length);
    error->text[length] = '\0';
  }
  return result;
}

lumo_result succeed(lumo_error *error, lumo_result result) noexcept {
  return fail(error, result, "");
}

lumo_result resultFor(StartStep step) noexcept {
  switch (step) {
    case StartStep::reportWindow:
      return LUMO_ERROR_REPORT_WINDOW;
    case StartStep::libraryMissing:
      return LUMO_ERROR_LIBRARY_MISSING;
    case StartStep::libraryOtherBitness:
      return LUMO_ERROR_LIBRARY_OTHER_BITNESS;
    case StartStep::libraryNotLoaded:
      return LUMO_ERROR_LIBRARY_NOT_LOADED;
    case StartStep::notHookLibrary:
      return LUMO_ERROR_NOT_HOOK_LIBRARY;
    case StartStep::hooksRefused:
      return LUMO_ERROR_HOOKS_REFUSED;
    case StartStep::loaderNotStarted:
      return LUMO_ERROR_LOADER_NOT_STARTED;
    case StartStep::desktopRefused:
      return LUMO_ERROR_DESKTOP_REFUSED;
    case StartStep::resources:
      return LUMO_ERROR_RESOURCES;
  }
  return LUMO_ERROR_UNEXPECTED;
}

// The counter's value at `at`, read back from now: the steady clock's
// relation to the counter is the runtime's affair.
std::int64_t performanceCount(Clock::time_point at) noexcept {
  if (at == Clock::time_point()) {
    return 0;
  }
  LARGE_INTEGER frequency;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  const std::int64_t age =
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - at).count();
  // In two parts: nanoseconds times the frequency overflow after minutes.
  const std::int64_t perSecond = 1000000000;
  return count.QuadPart - age / perSecond * frequency.QuadPart -
         age % perSecond * frequency.QuadPart / perSecond;
}

lumo_rect toC(const region::Rect &rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

ScreenSourceSettings toCpp(const lumo_source_settings &settings) {
  ScreenSourceSettings result;
  if (settings.hook_library != nullptr) {
    result.hookLibrary = settings.hook_library;
  }
  result.watch32 = settings.watch_32 != 0;
  result.minInterval = std::chrono::milliseconds(settings.min_interval_ms);
  result.tickInterval = std::chrono::milliseconds(settings.tick_interval_ms);
  return result;
}

// The C frame and the lists it points to, kept from one call to the next.
struct HandedOut {
  std::vector<lumo_move> moves;
  std::vector<lumo_area> areas;
  lumo_frame frame = {};
};

// Throws std::bad_alloc, and then `taken` stays for the next call.
void handOut(const SourceFrame &taken, HandedOut *out) {
  const frames::FrameUpdate &update = taken.update;
  out->moves.clear();
  for (const frames::Move &move : update.moves) {
    out->moves.push_back({toC(move.source), move.toLeft, move.toTop});
  }
  out->areas.clear();
  for (const frames::ChangedArea &area : update.areas) {
    out->areas.push_back({toC(area.place), area.pixels, area.stride});
  }
  const frames::FrameCounts &counts = update.counts;
  lumo_frame &frame = out->frame;
  frame.sequence = taken.sequence;
  frame.first_report_qpc = performanceCount(taken.firstReport);
  frame.whole = update.whole ? 1 : 0;
  frame.virtual_screen = toC(taken.virtualScreen);
  frame.moves = out->moves.data();
  frame.move_count = static_cast<std::uint32_t>(out->moves.size());
  frame.areas = out->areas.data();
  frame.area_count = static_cast<std::uint32_t>(out->areas.size());
  frame.counts = {counts.hinted, counts.captured, counts.compared, counts.sent, counts.copied};
}

}  // namespace
}  // namespace source
}  // namespace lumo

using lumo::source::fail;
using lumo::source::NextResult;
using lumo::source::succeed;

struct lumo_source {
  explicit lumo_source(lumo::source::ScreenSourceSettings settings) : source(std::move(settings)) {}

  lumo::source::ScreenSource source;
  lumo::source::SourceFrame taken;
  // Taken from the source, not handed out yet.
  bool pending = false;
  bool held = false;
  lumo::source::HandedOut handedOut;
};

void LUMO_SOURCE_CALL lumo_source_default_settings(lumo_source_settings *settings) {
  if (settings == nullptr) {
    return;
  }
  const lumo::source::ScreenSourceSettings defaults;
  *settings = {};
  settings->size = sizeof(*settings);
  settings->watch_32 = defaults.watch32 ? 1 : 0;
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  settings->min_interval_ms =
      static_cast<std::uint32_t>(duration_cast<milliseconds>(defaults.minInterval).count());
  settings->tick_interval_ms =
      static_cast<std::uint32_t>(duration_cast<milliseconds>(defaults.tickInterval).count());
}

lumo_result LUMO_SOURCE_CALL lumo_source_create(const lumo_source_settings *settings,
                                                lumo_source **source, lumo_error *error) {
  if (source == nullptr) {
    return fail(error, LUMO_ERROR_BAD_ARGUMENT, "no place for the source was given");
  }
  *source = nullptr;
  lumo_source_settings given;
  lumo_source_default_settings(&given);
  if (settings != nullptr) {
    if (settings->size < kFirstSettingsSize || settings->size > sizeof(given)) {
      return fail(error, LUMO_ERROR_BAD_ARGUMENT,
                  "the settings' size is not one this library knows");
    }
    std::memcpy(&given, settings, settings->size);
  }
  try {
    *source = new lumo_source(lumo::source::toCpp(given));
    return succeed(error, LUMO_OK);
  } catch (const lumo::source::StartError &failure) {
    return fail(error, lumo::source::resultFor(failure.step()), failure.what());
  } catch (const std::bad_alloc &) {
    return fail(error, LUMO_ERROR_OUT_OF_MEMORY, "out of memory");
  } catch (const std::exception &failure) {
    return fail(error, LUMO_ERROR_UNEXPECTED, failure.what());
  } catch (...) {
    return fail(error, LUMO_ERROR_UNEXPECTED, "an unknown failure");
  }
}

lumo_result LUMO_SOURCE_CALL lumo_source_next(lumo_source *source, uint32_t timeout_ms,
                                              const lumo_frame **frame, lumo_error *error) {
  if (frame != nullptr) {
    *frame = nullptr;
  }
  if (source == nullptr || frame == nullptr) {
    return fail(error, LUMO_ERROR_BAD_ARGUMENT, "no source or no place for the frame");
  }
  if (source->held) {
    return fail(error, LUMO_ERROR_FRAME_HELD,
                "the last frame is still held: the next would change its pixels");
  }
  if (!source->pending) {
    switch (source->source.next(std::chrono::milliseconds(timeout_ms), &source->taken)) {
      case NextResult::timedOut:
        return succeed(error, LUMO_TIMED_OUT);
      case NextResult::stopped:
        return succeed(error, LUMO_STOPPED);
      case NextResult::failed:
        return fail(error, LUMO_ERROR_OUT_OF_MEMORY,
                    "out of memory for the frame: the next one is whole");
      case NextResult::frame:
        break;
    }
    source->pending = true;
  }
  try {
    lumo::source::handOut(source->taken, &source->handedOut);
  } catch (...) {
    return fail(error, LUMO_ERROR_OUT_OF_MEMORY,
                "out of memory for the frame's lists: the next call hands it out");
  }
  source->pending = false;
  source->held = true;
  *frame = &source->handedOut.frame;
  return succeed(error, LUMO_OK);
}

int32_t LUMO_SOURCE_CALL lumo_source_watching_32(lumo_source *source, lumo_error *why) {
  if (source == nullptr) {
    fail(why, LUMO_ERROR_BAD_ARGUMENT, "no source");
    return 0;
  }
  if (source->source.watching32()) {
    succeed(why, LUMO_OK);
    return 1;
  }
  try {
    fail(why, LUMO_OK, lumo::toUtf8(source->source.why32NotWatched().c_str()).c_str());
  } catch (...) {
    fail(why, LUMO_ERROR_OUT_OF_MEMORY, "out of memory");
  }
  return 0;
}

void LUMO_SOURCE_CALL lumo_source_release_frame(lumo_source *source, const lumo_frame *frame) {
  if (source != nullptr && frame == &source->handedOut.frame) {
    source->held = false;
  }
}

void LUMO_SOURCE_CALL lumo_source_stop(lumo_source *source) {
  if (source != nullptr) {
    source->source.stop();
  }
}

void LUMO_SOURCE_CALL lumo_source_destroy(lumo_source *source) { delete source; }
