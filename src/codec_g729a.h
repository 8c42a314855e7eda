/* Entry points of the codec module beyond its translators; a host finds
   them with dlsym. The first two are for a host that knows a frame is
   missing (the switch itself never signals one): each appends 80 samples to
   a g729tolin instance's output buffer as if a frame had been decoded, and
   returns 0, or -1 with one level-3 log line when the output buffer has no
   room. */
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

/* Discontinuous transmission for a lintog729 instance (off when created):
   on != 0 turns it on, 0 off, between any two calls. With it on, each
   frameout returns either a payload of speech frames (10 bytes each),
   possibly ended by one 2-byte SID frame, whose samples count the 80 per
   frame it carries, or a frame with no payload (data_length 0) whose
   samples count the time that passed with nothing to send; the host calls
   frameout until it returns none. Returns 0, or -1 with one level-3 log line
   when pvt is not a lintog729 instance. inout: pvt. */
__attribute__((visibility("default"))) int lintog729_set_dtx(struct TranslatorInstance* pvt,
                                                             int on);

#ifdef __cplusplus
}
#endif
