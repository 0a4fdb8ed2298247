#include "app/state.h"

namespace ternova::app {

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace ternova::app
