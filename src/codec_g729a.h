/* Entry points of the codec module beyond its translators, for a host that
   knows a frame is missing (the switch itself never signals one). Each
   appends 80 samples to a g729tolin instance's output buffer as if a frame
   had been decoded, and returns 0, or -1 with one level-3 log line when the
   output buffer has no room. A host finds them with dlsym. */
#pragma once

#include "host/corvane.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A frame was expected and nothing usable arrived: G.729 concealment.
   inout: pvt. */
__attribute__((visibility("default"))) int g729tolin_erased(struct TranslatorInstance* pvt);

/* A DTX gap after a SID frame: its comfort noise continues (concealment
   instead when the last frame that arrived was speech). inout: pvt. */
__attribute__((visibility("default"))) int g729tolin_untransmitted(struct TranslatorInstance* pvt);

#ifdef __cplusplus
}
#endif
