// Prints where the server listens, keeps a small settings file safely,
// takes one frame from a screen source, and asks the server's control pipe
// for one thing.
//   lumo_consumer FOLDER [PIPE]

#include <chrono>
#include <cstdio>
#include <string>

#include "server/server_object_names.h"
#include "server/server_control_message.h"
#include "source/screen_source.h"
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

  // A screen source: the hooks beside this program, the damage tracker and
  // the frame builder behind one object. The first frame is the whole
  // screen; a server asks again whenever it can send.
  try {
    lumo::source::ScreenSource source{lumo::source::ScreenSourceSettings()};
    lumo::source::SourceFrame frame;
    if (source.next(std::chrono::seconds(5), &frame) == lumo::source::NextResult::frame) {
      const lumo::region::Rect &screen = frame.virtualScreen;
      const bool allSent = frame.update.counts.sent ==
                           static_cast<unsigned long long>(screen.getWidth()) * screen.getHeight();
      std::printf("screen source: frame %llu, %s, %s\n",
                  static_cast<unsigned long long>(frame.sequence),
                  frame.update.whole ? "the whole screen" : "not the whole screen",
                  allSent ? "all of its pixels sent" : "not all of its pixels sent");
    }
    source.stop();
  } catch (const lumo::source::StartError &e) {
    std::printf("screen source: %s\n", e.what());
  }

  const std::string pipe = argc == 3 ? argv[2] : names.serviceControlPipeName;
  std::printf("control request: %d\n", lumo::server::runControlCommand(pipe, 1));
  return written.status == lumo::storage::SafeWriteStatus::Written ? 0 : 1;
}
