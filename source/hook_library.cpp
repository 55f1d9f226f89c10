#include "source/hook_library.h"

#include <utility>

namespace lumo {
namespace source {

namespace {

template <typename Function>
Function lookUp(HMODULE library, const char *name) {
  return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

}  // namespace

void removeHookInstallation(HookInstallation *installation) {
  installation->removed = installation->unset(installation->target, installation->message);
}

HookLibrary::HookLibrary(std::wstring path) : path_(std::move(path)) {}

HookLibrary::Outcome HookLibrary::load() {
  library_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library_) {
    loadError_ = GetLastError();
    if (loadError_ == ERROR_MOD_NOT_FOUND || loadError_ == ERROR_FILE_NOT_FOUND ||
        loadError_ == ERROR_PATH_NOT_FOUND) {
      return Outcome::NotFound;
    }
    return loadError_ == ERROR_BAD_EXE_FORMAT ? Outcome::NotThisBitness : Outcome::NotLoaded;
  }
  set_ = lookUp<SetHookWithMessageFn>(library_.get(), "setHookWithMessage");
  installation_.unset = lookUp<UnsetHookForWindowFn>(library_.get(), "unsetHookForWindow");
  if (set_ == nullptr || installation_.unset == nullptr) {
    return Outcome::NotHookLibrary;
  }
  return Outcome::Installed;
}

HookLibrary::Outcome HookLibrary::install(HWND target, UINT message) {
  const Outcome loaded = load();
  if (loaded != Outcome::Installed) {
    return loaded;
  }
  if (!set_(target, message)) {
    return Outcome::Refused;
  }
  installation_.target = target;
  installation_.message = message;
  installed_.reset(&installation_);
  return Outcome::Installed;
}

bool HookLibrary::remove() {
  if (!installed_) {
    return true;
  }
  installed_.reset();
  return installation_.removed;
}

}  // namespace source
}  // namespace lumo
