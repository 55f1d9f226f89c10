#pragma once

#include <string>

#include "win/log.h"
#include "win/process.h"

// A child program in an interactive session, as that session's user where
// the system allows it, else as the caller moved into the session; each step
// is reported to the log.
class CurrentConsoleProcess : public lumo::Process {
public:
  // log is not owned and must not be null. searchRemoteSession prefers an
  // active remote-desktop session over the console.
  CurrentConsoleProcess(const std::string &path, const std::string &arguments, lumo::Log *log,
                        bool searchRemoteSession);

  // Throws lumo::SystemException, after logging its code.
  void start() override;

protected:
  lumo::Log *log;
  bool searchRemoteSession;
};
