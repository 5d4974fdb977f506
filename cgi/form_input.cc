#include "shell/ostrel_class.h"

namespace ostrel {

void OstrelClass::ReadFormInput() {}

}  // namespace ostrel
