#pragma once

#include <gtest/gtest.h>

#include "server/control_errors.h"

namespace lumo {
namespace test {

// The ControlRequestError that body throws; a test failure if it throws none.
template <typename Body>
server::ControlRequestError requestErrorOf(Body body) {
  try {
    body();
  } catch (const server::ControlRequestError &error) {
    return error;
  }
  ADD_FAILURE() << "no ControlRequestError";
  return server::ControlRequestError(0, "none");
}

}  // namespace test
}  // namespace lumo
