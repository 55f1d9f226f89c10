#include "report_tally.h"

#include <algorithm>

#include "text_output.h"
#include "paintwatch/report.h"
#include "util/unique_handle.h"
#include "virtual_screen.h"

namespace lumo {
namespace tools {

namespace {

// Watched windows are looked up at most this often: at thousands of
// reports a second, one lookup per report would slow the monitor down.
const ULONGLONG locateEveryMs = 50;
const std::size_t topWindows = 5;

bool contains(const region::Rect &outer, const region::Rect &inner) {
  return !inner.isEmpty() && inner.left >= outer.left && inner.top >= outer.top &&
         inner.right <= outer.right && inner.bottom <= outer.bottom;
}

std::wstring programOf(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  wchar_t path[MAX_PATH * 4];
  DWORD length = ARRAYSIZE(path);
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &length)) {
    return L"?";
  }
  const std::wstring full(path, length);
  return full.substr(full.find_last_of(L"\\/") + 1);
}

}  // namespace

ReportTally::ReportTally(const std::vector<std::wstring> &watchedTitles) {
  for (const std::wstring &title : watchedTitles) {
    watched_.emplace_back();
    watched_.back().title = title;
  }
}

void ReportTally::locateWatched() {
  const ULONGLONG now = GetTickCount64();
  if (locatedAt_ != 0 && now - locatedAt_ < locateEveryMs) {
    return;
  }
  locatedAt_ = now;
  const POINT origin = virtualScreen().origin;
  for (Watched &w : watched_) {
    const HWND window = FindWindowW(nullptr, w.title.c_str());
    RECT rect;
    if (window != nullptr && GetWindowRect(window, &rect)) {
      w.rect = paintwatch::virtualFromScreen(rect, origin);
      w.seen = true;
    }
  }
}

ReportTally::WindowName ReportTally::windowUnder(const region::Rect &report) {
  const POINT origin = virtualScreen().origin;
  const POINT centre = {origin.x + (report.left + report.right) / 2,
                        origin.y + (report.top + report.bottom) / 2};
  const HWND under = WindowFromPoint(centre);
  const HWND top = under != nullptr ? GetAncestor(under, GA_ROOT) : nullptr;
  if (top == nullptr) {
    return {L"", L""};
  }
  auto known = names_.find(top);
  if (known == names_.end()) {
    wchar_t title[256] = L"";
    GetWindowTextW(top, title, ARRAYSIZE(title));
    known = names_.emplace(top, WindowName(title, programOf(top))).first;
  }
  return known->second;
}

void ReportTally::record(const region::Rect &r) {
  ++reports_;
  const Box box{r.left, r.top, r.right, r.bottom};
  ++distinct_[box];
  locateWatched();
  for (Watched &w : watched_) {
    if (w.seen && contains(w.rect, r)) {
      w.inside.insert(box);
      ++w.reports;
    }
  }
  auto placed = placed_.find(box);
  if (placed == placed_.end()) {
    placed = placed_.emplace(box, windowUnder(r)).first;
  }
  ++byWindow_[placed->second];
}

std::vector<Damage> ReportTally::damage() const {
  std::vector<Damage> result;
  for (const auto &entry : distinct_) {
    const Box &b = entry.first;
    result.push_back({region::Rect(std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<3>(b)),
                      static_cast<unsigned long>(entry.second)});
  }
  return result;
}

std::wstring ReportTally::summary(double seconds) const {
  std::wstring text = formatText("summary: %llu reports, %llu distinct rectangles",
                                 static_cast<unsigned long long>(reports_),
                                 static_cast<unsigned long long>(distinct_.size()));
  bool first = true;
  for (const Watched &w : watched_) {
    text += formatText(
        ", %llu %s the window \"%s\"%s", static_cast<unsigned long long>(w.inside.size()),
        first ? "of them inside" : "inside", utf8(w.title).c_str(), w.seen ? "" : " (never found)");
    first = false;
  }
  text += formatText("\nreports: %.1f per second over %.1f s",
                     seconds > 0 ? static_cast<double>(reports_) / seconds : 0.0, seconds);
  for (const Watched &w : watched_) {
    text += formatText("; %llu inside the window \"%s\"",
                       static_cast<unsigned long long>(w.reports), utf8(w.title).c_str());
  }
  std::vector<std::pair<std::uint64_t, WindowName>> ranked;
  for (const auto &entry : byWindow_) {
    ranked.emplace_back(entry.second, entry.first);
  }
  std::sort(ranked.begin(), ranked.end(),
            [](const auto &a, const auto &b) { return a.first > b.first; });
  if (!ranked.empty()) {
    text += L"\ntop windows by reports:";
    for (std::size_t i = 0; i < ranked.size() && i < topWindows; ++i) {
      const WindowName &name = ranked[i].second;
      text += formatText("%s %llu", i == 0 ? "" : ",",
                         static_cast<unsigned long long>(ranked[i].first));
      text += name.second.empty() ? L" on no window"
                                  : L" \"" + name.first + L"\" (" + name.second + L")";
    }
  }
  return text + L"\n";
}

}  // namespace tools
}  // namespace lumo
