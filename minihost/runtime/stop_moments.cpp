#include "minihost/runtime/stop_moments.h"

void AtRunStart() {}
void AtProgressLine(int) {}
void AtEncodeStart() {}
void AtStopLine(bool) {}
