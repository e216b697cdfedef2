// mexversion: the module's version mark, the string that mexVersion hands the host.
#include "frame/frame.h"

namespace {

const char *version = "MATLAB R12 native";

}  // namespace

extern "C" FRAME_EXPORT const char *mexVersion(void) { return version; }
