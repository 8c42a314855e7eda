/* g729aenc: each 10 ms of input (80 samples) becomes one output buffer: a
 * 10-byte speech frame, with DTX a 2-byte SID frame, or nothing at all for a
 * frame DTX leaves untransmitted (its time passes without a buffer). */
#include "g729aenc.h"

#include <g729a/g729a.h>
#include <string.h>

GST_DEBUG_CATEGORY_STATIC(g729a_enc_debug);
#define GST_CAT_DEFAULT g729a_enc_debug

enum { PROP_0, PROP_DTX };

struct _G729AEnc {
  GstAudioEncoder parent;
  G729AEncoder* codec;
  gboolean dtx;
};

G_DEFINE_TYPE(G729AEnc, g729a_enc, GST_TYPE_AUDIO_ENCODER);
GST_ELEMENT_REGISTER_DEFINE(g729aenc, "g729aenc", GST_RANK_PRIMARY, G729A_TYPE_ENC);

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(
                                S16) ", layout = (string) interleaved, rate = (int) 8000, "
                                     "channels = (int) 1"));

static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/G729, rate = (int) 8000, channels = (int) 1"));

static gboolean g729a_enc_start(GstAudioEncoder* encoder) {
  G729AEnc* self = G729A_ENC(encoder);
  int flags = self->dtx ? G729A_DTX : 0;
  int error = G729A_OK;
  self->codec = g729a_encoder_create(flags, &error);
  if (self->codec == NULL) {
    GST_ELEMENT_ERROR(
        self, LIBRARY, SETTINGS,
        ("Cannot start the G.729A encoder%s: %s", self->dtx ? " with dtx=true" : "",
         g729a_strerror(error)),
        ("g729a_encoder_create(flags %d) returned %d (%s)", flags, error, g729a_version_string()));
    return FALSE;
  }
  return TRUE;
}

static gboolean g729a_enc_stop(GstAudioEncoder* encoder) {
  G729AEnc* self = G729A_ENC(encoder);
  g729a_encoder_destroy(self->codec);
  self->codec = NULL;
  return TRUE;
}

static gboolean g729a_enc_set_format(GstAudioEncoder* encoder, GstAudioInfo* info) {
  (void)info; /* The sink template admits one format only. */
  GstCaps* caps = gst_static_pad_template_get_caps(&src_template);
  gboolean ok = gst_audio_encoder_set_output_format(encoder, caps);
  gst_caps_unref(caps);
  /* Exactly one frame per call; a partial last frame comes at the end. */
  gst_audio_encoder_set_frame_samples_min(encoder, G729A_FRAME_SAMPLES);
  gst_audio_encoder_set_frame_samples_max(encoder, G729A_FRAME_SAMPLES);
  gst_audio_encoder_set_frame_max(encoder, 1);
  /* The frame itself and the 5 ms the analysis looks ahead. */
  gst_audio_encoder_set_latency(encoder, 15 * GST_MSECOND, 15 * GST_MSECOND);
  return ok;
}

static GstFlowReturn g729a_enc_handle_frame(GstAudioEncoder* encoder, GstBuffer* buffer) {
  G729AEnc* self = G729A_ENC(encoder);
  if (buffer == NULL) return GST_FLOW_OK; /* Draining: nothing is held back. */

  /* A short last frame is completed with silence, as the tool does. */
  gint16 pcm[G729A_FRAME_SAMPLES];
  memset(pcm, 0, sizeof pcm);
  gsize size = gst_buffer_get_size(buffer);
  if (size > sizeof pcm) size = sizeof pcm;
  gst_buffer_extract(buffer, 0, pcm, size);
  int samples = (int)(size / sizeof pcm[0]);
  if (samples == 0) return gst_audio_encoder_finish_frame(encoder, NULL, 0);

  unsigned char frame[G729A_FRAME_BYTES];
  int bytes = g729a_encode(self->codec, pcm, frame, (int)sizeof frame);
  if (bytes < 0) {
    GST_ELEMENT_ERROR(self, STREAM, ENCODE, ("G.729A encoding failed: %s", g729a_strerror(bytes)),
                      ("g729a_encode returned %d", bytes));
    return GST_FLOW_ERROR;
  }
  /* Nothing to send: the samples are consumed without a buffer. */
  if (bytes == 0) return gst_audio_encoder_finish_frame(encoder, NULL, samples);
  GstBuffer* out = gst_audio_encoder_allocate_output_buffer(encoder, (gsize)bytes);
  gst_buffer_fill(out, 0, frame, (gsize)bytes);
  return gst_audio_encoder_finish_frame(encoder, out, samples);
}

static void g729a_enc_set_property(GObject* object, guint id, const GValue* value,
                                   GParamSpec* pspec) {
  G729AEnc* self = G729A_ENC(object);
  switch (id) {
    case PROP_DTX:
      GST_OBJECT_LOCK(self);
      self->dtx = g_value_get_boolean(value);
      GST_OBJECT_UNLOCK(self);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

static void g729a_enc_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
  G729AEnc* self = G729A_ENC(object);
  switch (id) {
    case PROP_DTX:
      GST_OBJECT_LOCK(self);
      g_value_set_boolean(value, self->dtx);
      GST_OBJECT_UNLOCK(self);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

static void g729a_enc_class_init(G729AEncClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstAudioEncoderClass* encoder_class = GST_AUDIO_ENCODER_CLASS(klass);

  object_class->set_property = g729a_enc_set_property;
  object_class->get_property = g729a_enc_get_property;
  g_object_class_install_property(
      object_class, PROP_DTX,
      g_param_spec_boolean(
          "dtx", "DTX",
          "Discontinuous transmission: silence goes out as 2-byte SID frames or not at all "
          "(read when the element starts)",
          FALSE, G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY));

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "G.729 Annex A encoder", "Codec/Encoder/Audio",
      "Encodes 8 kHz mono 16-bit audio into G.729 Annex A frames", "codec_g729a maintainers");

  encoder_class->start = GST_DEBUG_FUNCPTR(g729a_enc_start);
  encoder_class->stop = GST_DEBUG_FUNCPTR(g729a_enc_stop);
  encoder_class->set_format = GST_DEBUG_FUNCPTR(g729a_enc_set_format);
  encoder_class->handle_frame = GST_DEBUG_FUNCPTR(g729a_enc_handle_frame);

  GST_DEBUG_CATEGORY_INIT(g729a_enc_debug, "g729aenc", 0, "G.729 Annex A encoder");
}

static void g729a_enc_init(G729AEnc* self) {
  self->codec = NULL;
  self->dtx = FALSE;
}
