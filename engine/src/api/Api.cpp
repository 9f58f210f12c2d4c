#include "Api.h"

namespace sonvel::engine {

ApiTable& Api() {
  static ApiTable table;
  return table;
}

}  // namespace sonvel::engine
