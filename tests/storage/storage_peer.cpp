// A second process for the storage tests. Usage:
//   storage_peer atomic PATH NUMBER START_EVENT    -> exit code: the status
//   storage_peer update PATH LOADED NEW START_EVENT -> exit code: the status
//   storage_peer count PATH TIMES                   -> 0 when all increments landed
//   storage_peer hold PATH HELD_EVENT               -> holds the lock until killed
//   storage_peer churn PATH FIRST READY_EVENT       -> writes until killed
// NUMBER and FIRST select contents of crash_content.h; LOADED and NEW are
// taken as UTF-8.

#include <windows.h>

#include <string>

#include "crash_content.h"
#include "storage/file_lock.h"
#include "storage/file_operations.h"
#include "storage/safe_file_writer.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"

using namespace lumo;
using namespace lumo::storage;

namespace {

const wchar_t scope[] = L"PeerTest";

// Waits until the test lets all peers go at once.
void awaitStart(const wchar_t *eventName) {
  const UniqueHandle start(OpenEventW(SYNCHRONIZE, FALSE, eventName));
  WaitForSingleObject(start.get(), INFINITE);
}

void signal(const wchar_t *eventName) {
  const UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
  SetEvent(event.get());
}

int count(const std::wstring &path, int times) {
  const WindowsSafeFileWriter writer(FileProtection::Inherited, scope);
  for (int done = 0; done < times;) {
    const FileReadResult read = WindowsFileOperations().readFile(path);
    if (read.state != FileState::Present) {
      return 100;
    }
    LoadedFileSnapshot loaded;
    loaded.existed = 1;
    loaded.bytes = read.bytes;
    const std::string next = std::to_string(std::stoi(read.bytes) + 1);
    const SafeWriteStatus status = writer.writeIfUnchanged(path, next, loaded, L"").status;
    if (status == SafeWriteStatus::Written) {
      ++done;
    } else if (status != SafeWriteStatus::Conflict) {
      return 100 + static_cast<int>(status);
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  const std::wstring command = argc > 2 ? argv[1] : L"";
  const WindowsSafeFileWriter writer(FileProtection::Inherited, scope);
  if (command == L"atomic" && argc == 5) {
    awaitStart(argv[4]);
    const std::string content = test::crashContent(std::stoul(argv[3]));
    return static_cast<int>(writer.writeAtomically(argv[2], content).status);
  }
  if (command == L"update" && argc == 6) {
    LoadedFileSnapshot loaded;
    loaded.existed = 1;
    loaded.bytes = toUtf8(argv[3]);
    awaitStart(argv[5]);
    return static_cast<int>(writer.writeIfUnchanged(argv[2], toUtf8(argv[4]), loaded, L"").status);
  }
  if (command == L"count" && argc == 4) {
    return count(argv[2], std::stoi(argv[3]));
  }
  if (command == L"hold" && argc == 4) {
    const TimedFileLock lock(argv[2], scope);
    if (!lock.held()) {
      return 1;
    }
    signal(argv[3]);
    Sleep(INFINITE);
  }
  if (command == L"churn" && argc == 5) {
    signal(argv[4]);
    for (std::uint32_t number = std::stoul(argv[3]);; ++number) {
      writer.writeAtomically(argv[2], test::crashContent(number));
    }
  }
  return 64;
}
