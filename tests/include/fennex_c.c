/* The public header compiled as C, as C hosts include it. */
#include "fennex/fennex.h"

int fennex_public_header_c_size(void) {
    openCVLPortFn open = openCVLPort;
    (void)open;
    return (int)(sizeof(DebugMsgProc) + sizeof(CompleteCallback) + FENNEX_MAX_PORTS);
}
