/* What the module offers beyond its translators: the decoder's entry points
   for frames that never arrived, for hosts that know a frame is missing.
   The switch never calls them; a host finds them with dlsym. */
#pragma once

#include "host/corvane.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A frame was expected on this g729tolin instance and nothing usable
   arrived: appends 80 concealed samples to the output buffer, as framein
   does for a decoded frame. Returns 0, or -1 (logged) when there is no room.
   inout: pvt. */
__attribute__((visibility("default"))) int g729tolin_erased(struct TranslatorInstance* pvt);

/* A DTX gap after a SID frame: appends 80 samples of continued comfort noise
   (concealed samples when the last frame that arrived was speech). Returns 0,
   or -1 (logged) when there is no room. inout: pvt. */
__attribute__((visibility("default"))) int g729tolin_untransmitted(struct TranslatorInstance* pvt);

#ifdef __cplusplus
}
#endif
