#pragma once

#include <cstdint>
#include <string>

namespace lumo {
namespace server {

// The names through which the server and its companion programs find each
// other. Every program takes them from here so that all spell them alike.
class ServerObjectNames {
public:
  // Built on the first call, once even when several threads race; a build
  // that throws counts as not done and the next call starts it again.
  static const ServerObjectNames &instance();

  ServerObjectNames(const ServerObjectNames &) = delete;
  ServerObjectNames &operator=(const ServerObjectNames &) = delete;

  const std::string mirrorDriverMessageWindowClass;
  const std::string messageWindowName;
  const std::string overviewWindowName;
  const std::string clipboardWindowName;
  const std::wstring hookLoaderWindowName;
  const std::string hookTargetWindowName;
  const std::string hookLoaderFileName;
  const std::string hookLibrary32FileName;
  const std::string hookLibrary64FileName;
  // Registered while the catalogue is built; 0 if Windows refused.
  const std::uint32_t hookLoaderCloseMessage;
  const std::uint32_t hookUpdateMessage;
  const std::string serverTitle;
  const std::string productName;
  const std::string productLabel;
  const std::string productTitle;
  const std::string serverName;
  const std::string logServiceName;
  const std::string serviceTitle;
  const std::string serviceName;
  const std::string applicationName;
  const std::string applicationLabel;
  const std::string applicationTitle;
  const std::string overviewActivateName;
  const std::string appInstanceName;
  const std::string controlServiceInstanceName;
  const std::string serviceControlPipeName;
  const std::string appControlName;

private:
  ServerObjectNames(const std::string &productName, const std::string &productLabel,
                    const std::string &serverName, const std::string &applicationName);
};

}  // namespace server
}  // namespace lumo
