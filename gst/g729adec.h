/* g729adec: G.729 Annex A frames (speech and SID) to 16-bit linear PCM. */
#ifndef G729A_GST_G729ADEC_H
#define G729A_GST_G729ADEC_H

#include <gst/audio/gstaudiodecoder.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define G729A_TYPE_DEC (g729a_dec_get_type())
G_DECLARE_FINAL_TYPE(G729ADec, g729a_dec, G729A, DEC, GstAudioDecoder)

GST_ELEMENT_REGISTER_DECLARE(g729adec);

G_END_DECLS

#endif
