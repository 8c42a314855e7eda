/* The g729a plugin: the encoder and decoder elements. */
#include "g729adec.h"
#include "g729aenc.h"

static gboolean plugin_init(GstPlugin* plugin) {
  gboolean ok = GST_ELEMENT_REGISTER(g729aenc, plugin);
  ok |= GST_ELEMENT_REGISTER(g729adec, plugin);
  return ok;
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, g729a,
                  "G.729 Annex A speech codec (libg729a)", plugin_init, G729A_GST_VERSION,
                  G729A_GST_LICENSE, "codec_g729a", "https://localhost/codec_g729a")
