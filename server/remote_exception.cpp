#include "server/remote_exception.h"

RemoteException::RemoteException(const std::string &text) : Exception("%s", text.c_str()) {}
