// The one HostState record of the process.
#include "host/host_state.h"

HostState g_host = {
    NULL,          // instance
    0,             // isWin9x
    0,             // isPreview
    NULL,          // saverWindow
    0,             // queryCancelAutoPlayMessage
    NULL,          // imeModule
    NULL,          // imeAssociateContext
    NULL,          // savedImeContext
    {0, 0},        // cursorAnchor
    0,             // closeAllowed
    0,             // isVerifying
    NULL,          // passwordModule
    NULL,          // verifyPasswordEntry
    kNoVerifyTick  // lastVerifyTick
};
