// Prints where the server listens, keeps a small settings file safely, runs
// one frame of the damage tracker and builds what a server sends for it,
// and asks the server's control pipe for
// one thing.
//   lumo_consumer FOLDER [PIPE]

#include <cstdio>
#include <string>

#include "damage/damage_tracker.h"
#include "damage/system_desktop.h"
#include "frames/frame_builder.h"
#include "frames/gdi_screen_capture.h"
#include "paintwatch/report.h"
#include "server/server_object_names.h"
#include "server/server_control_message.h"
#include "storage/file_operations.h"
#include "storage/safe_file_writer.h"
#include "util/text_conversion.h"

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: lumo_consumer FOLDER [PIPE]\n");
    return 2;
  }
  const lumo::server::ServerObjectNames &names = lumo::server::ServerObjectNames::instance();
  std::printf("service control pipe: %s\n", names.serviceControlPipeName.c_str());
  std::printf("hook update message: %s\n", names.hookUpdateMessage != 0 ? "registered" : "none");

  // Read, change and write back; a writer in another process that got there
  // first makes this one report a conflict instead of losing its update.
  const std::wstring path = lumo::toUtf16(argv[1]) + L"\\settings.txt";
  const lumo::storage::WindowsFileOperations files;
  const lumo::storage::FileReadResult before = files.readFile(path);
  lumo::storage::LoadedFileSnapshot snapshot;
  snapshot.existed = before.state == lumo::storage::FileState::Present ? 1 : 0;
  snapshot.bytes = before.bytes;
  const std::string runs = std::to_string(snapshot.existed ? std::stoi(before.bytes) + 1 : 1);
  const lumo::storage::WindowsSafeFileWriter writer(lumo::storage::FileProtection::Inherited,
                                                    L"lumo-consumer");
  const lumo::storage::SafeWriteResult written =
      writer.writeIfUnchanged(path, runs, snapshot, std::wstring());
  std::printf("settings: %s (%s)\n",
              written.status == lumo::storage::SafeWriteStatus::Written ? "written" : "not written",
              written.status == lumo::storage::SafeWriteStatus::Written ? runs.c_str()
                                                                        : written.message.c_str());

  // One frame as a server's frame clock makes it, after a first tick that
  // learns the desktop: the reports the hooks posted since the last frame,
  // then the tick, then the frame. These two overlap and cover the virtual
  // screen between them, so the frame is one rectangle whatever the tick
  // finds on the desktop at that moment.
  lumo::damage::SystemDesktop desktop;
  lumo::damage::DamageTracker tracker(&desktop);
  tracker.tick();
  tracker.takeFrame();
  const lumo::region::Rect screen = tracker.virtualScreen();
  const int width = screen.getWidth();
  const int height = screen.getHeight();
  const lumo::region::Rect painted[] = {lumo::region::Rect(0, 0, width, height * 2 / 3),
                                        lumo::region::Rect(0, height / 3, width, height)};
  for (const lumo::region::Rect &rect : painted) {
    const lumo::paintwatch::ReportParams report = lumo::paintwatch::packReport(rect);
    tracker.addReport(report.wParam, report.lParam);
  }
  tracker.tick();
  const lumo::damage::Frame frame = tracker.takeFrame();
  const bool whole =
      frame.damage.size() == 1 && frame.damage[0] == lumo::region::Rect(0, 0, width, height);
  std::printf("damage tracker: %d rectangle%s, %s\n", static_cast<int>(frame.damage.size()),
              frame.damage.size() == 1 ? "" : "s",
              whole ? "the whole screen" : "not the whole screen");

  // What a server sends for it: the first frame is the whole screen.
  lumo::frames::GdiScreenCapture capture;
  lumo::frames::FrameBuilder builder(&capture);
  const lumo::frames::FrameUpdate update =
      builder.build({screen, false, frame.damage, frame.moves, frame.vacated});
  const bool allSent = update.counts.sent == static_cast<unsigned long long>(width) * height;
  std::printf("frame builder: %s, %s\n", update.whole ? "the whole screen" : "not the whole screen",
              allSent ? "all of its pixels sent" : "not all of its pixels sent");

  const std::string pipe = argc == 3 ? argv[2] : names.serviceControlPipeName;
  std::printf("control request: %d\n", lumo::server::runControlCommand(pipe, 1));
  return written.status == lumo::storage::SafeWriteStatus::Written ? 0 : 1;
}
