#include "shell/ostrel_class.h"

namespace ostrel {

void OstrelClass::CGI_Main() {}

}  // namespace ostrel
