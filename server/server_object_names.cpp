#include "server/server_object_names.h"

#include "server/platform_seam.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {
namespace server {

namespace {

std::uint32_t registerMessage(const std::string &name) {
  return serverSeam.registerWindowMessage(toUtf16(name).c_str());
}

std::string titleOf(const std::string &product) { return product + " Server"; }

// Only the two control names carry the protocol version, so that a server
// and a client of different versions cannot meet on one pipe. The numbers
// are the system's version, which the build passes in.
std::string versioned(const std::string &server) {
  return server + format("-%u.%u", static_cast<unsigned>(LUMO_VERSION_MAJOR),
                         static_cast<unsigned>(LUMO_VERSION_MINOR));
}

}  // namespace

// The members are declared in the order in which they are built, so the two
// messages are registered after the file names and before the product words.
ServerObjectNames::ServerObjectNames(const std::string &productName,
                                     const std::string &productLabel, const std::string &serverName,
                                     const std::string &applicationName)
    : mirrorDriverMessageWindowClass("MIRROR_DRIVER_MESSAGE_WINDOW_CLASS_NAME"),
      messageWindowName(serverName + "-message-window"),
      overviewWindowName(serverName + "-overview-window"),
      clipboardWindowName(serverName + "-clipboard-window"),
      hookLoaderWindowName(toUtf16(serverName + "-hook-loader-window")),
      hookTargetWindowName(serverName + "-hook-target-window"),
      hookLoaderFileName("veltrun.exe"),
      hookLibrary32FileName("paintwatch32.dll"),
      hookLibrary64FileName("paintwatch64.dll"),
      hookLoaderCloseMessage(registerMessage(serverName + "-hook-loader-close")),
      hookUpdateMessage(registerMessage(serverName + "-hook-update")),
      serverTitle(titleOf(productName)),
      productName(productName),
      productLabel(productLabel),
      productTitle(titleOf(productName)),
      serverName(serverName),
      logServiceName(serverName + "-log-service"),
      serviceTitle(productTitle),
      serviceName(serverName + "-service"),
      applicationName(applicationName),
      applicationLabel(serverName),
      applicationTitle(productTitle),
      overviewActivateName(serverName + "-overview-window-activate"),
      appInstanceName(serverName + "-app-instance"),
      controlServiceInstanceName(serverName + "-control-service-instance"),
      serviceControlPipeName(versioned(serverName) + "-service-control"),
      appControlName(versioned(serverName) + "-app-control") {}

const ServerObjectNames &ServerObjectNames::instance() {
  // A function-local static gives the once-only, retry-after-throw build.
  static const ServerObjectNames names("Tarnwick", "Tarnwick", "lumoserver", "lumoserver");
  return names;
}

}  // namespace server
}  // namespace lumo
