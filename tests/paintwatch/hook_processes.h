#pragma once

// Other processes that paint or install hooks, for the tests that watch
// reports cross process boundaries.

#include <windows.h>

#include <string>
#include <vector>

#include "region/rect.h"
#include "test_support.h"

namespace lumo {
namespace test {

// A function a library loaded here exports, as its type.
template <typename Fn>
Fn exported(HMODULE library, const char *name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(library, name)));
}

// Runs hook_peer (or a peer of the other bitness) to paint a borderless
// window at the given place; true if it ran to its end. With refusals, the
// peer's hooks fail their first posts with these errors (see hook_peer).
bool paintFromPeer(const std::wstring &peerFile, const region::Rect &place,
                   const std::vector<DWORD> &refusals = {});

// Waits up to two seconds for a report of exactly this rectangle, dropping
// the others; true when one came.
bool reportArrives(HWND target, UINT message, const region::Rect &expected);

// A process that installed the hooks and never removes them.
class PeerInstaller {
public:
  // Starts hook_peer beside this program and waits until it has installed
  // the hooks for target; started() tells whether it did.
  PeerInstaller(HWND target, UINT message);
  ~PeerInstaller() { kill(); }

  bool started() const { return installed_; }
  // Ends the process the hard way and waits until it is gone.
  void kill();

private:
  UniqueHandle process_;
  bool installed_ = false;
};

}  // namespace test
}  // namespace lumo
