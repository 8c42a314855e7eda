/* g729aenc: 16-bit linear PCM at 8000 Hz, mono, to G.729 Annex A frames. */
#ifndef G729A_GST_G729AENC_H
#define G729A_GST_G729AENC_H

#include <gst/audio/gstaudioencoder.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define G729A_TYPE_ENC (g729a_enc_get_type())
G_DECLARE_FINAL_TYPE(G729AEnc, g729a_enc, G729A, ENC, GstAudioEncoder)

GST_ELEMENT_REGISTER_DECLARE(g729aenc);

G_END_DECLS

#endif
