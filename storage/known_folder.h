#pragma once

#include <cstdint>
#include <string>

namespace lumo {
namespace storage {

enum class KnownFolder : std::int32_t {
  ProgramData = 0,
  LocalAppData = 1,
  RoamingAppData = 2,
};

struct KnownFolderResult {
  bool found = false;
  std::wstring path;
  std::string error;
};

class IKnownFolderProvider {
public:
  virtual ~IKnownFolderProvider() = default;
  // Values outside the enumeration are looked up as the null identifier and
  // so come back as a platform failure.
  virtual KnownFolderResult knownFolderPath(KnownFolder kind) const = 0;
};

// The folders of the calling user's token; nothing is created.
class WindowsKnownFolderProvider : public IKnownFolderProvider {
public:
  KnownFolderResult knownFolderPath(KnownFolder kind) const override;
};

}  // namespace storage
}  // namespace lumo
