#pragma once

#include <string>

#include "util/exception.h"

// The server answered a control request with an error status, or with a
// status that means nothing; the text comes from the program's resources.
class RemoteException : public lumo::Exception {
public:
  explicit RemoteException(const std::string &text);
  RemoteException(const RemoteException &) = default;
  RemoteException &operator=(const RemoteException &) = default;
};
