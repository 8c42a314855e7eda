/* g729adec: decodes buffers that hold a run of 10-byte speech frames,
 * optionally ended by one 2-byte SID frame, as the switch module's decoder
 * translator splits them: a 10-byte frame while more than 9 bytes are left,
 * a SID frame when exactly 2 are left. Time the input skips (a GAP event, or
 * a buffer that starts later than the previous one ended) is filled frame by
 * frame: concealment after speech, comfort noise after a SID frame. */
#include "g729adec.h"

#include <g729a/g729a.h>

GST_DEBUG_CATEGORY_STATIC(g729a_dec_debug);
#define GST_CAT_DEFAULT g729a_dec_debug

#define FRAME_DURATION (10 * GST_MSECOND)
/* A jump in timestamps longer than this is a new start, not a pause. */
#define MAX_FILL_DURATION (600 * GST_SECOND)

struct _G729ADec {
  GstAudioDecoder parent;
  G729ADecoder* codec;
  /* Where the input stopped; GST_CLOCK_TIME_NONE before the first buffer. */
  GstClockTime next_pts;
  GstPadChainFunction base_chain;
};

G_DEFINE_TYPE(G729ADec, g729a_dec, GST_TYPE_AUDIO_DECODER);
GST_ELEMENT_REGISTER_DEFINE(g729adec, "g729adec", GST_RANK_PRIMARY, G729A_TYPE_DEC);

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/G729, rate = (int) 8000, channels = (int) 1"));

static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(
                                S16) ", layout = (string) interleaved, rate = (int) 8000, "
                                     "channels = (int) 1"));

/* Frames in a payload of `size` bytes, or -1 when the module's split
 * leaves a remainder that is no frame (1 or 3 to 9 bytes). */
static gint frames_in_payload(gsize size) {
  gsize rest = size % G729A_FRAME_BYTES;
  if (rest != 0 && rest != G729A_SID_BYTES) return -1;
  return (gint)(size / G729A_FRAME_BYTES + (rest == G729A_SID_BYTES));
}

static gboolean g729a_dec_start(GstAudioDecoder* decoder) {
  G729ADec* self = G729A_DEC(decoder);
  int error = G729A_OK;
  self->codec = g729a_decoder_create(&error);
  if (self->codec == NULL) {
    GST_ELEMENT_ERROR(self, LIBRARY, INIT,
                      ("Cannot start the G.729A decoder: %s", g729a_strerror(error)), (NULL));
    return FALSE;
  }
  self->next_pts = GST_CLOCK_TIME_NONE;
  return TRUE;
}

static gboolean g729a_dec_stop(GstAudioDecoder* decoder) {
  G729ADec* self = G729A_DEC(decoder);
  g729a_decoder_destroy(self->codec);
  self->codec = NULL;
  return TRUE;
}

static gboolean g729a_dec_set_format(GstAudioDecoder* decoder, GstCaps* caps) {
  (void)caps; /* The sink template admits one format only. */
  GstAudioInfo info;
  gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16, 8000, 1, NULL);
  gst_audio_decoder_set_plc_aware(decoder, TRUE);
  return gst_audio_decoder_set_output_format(decoder, &info);
}

/* A soft flush (a discontinuity upstream) keeps the decoder's memory, so
 * the frames after a loss are decoded as the codec expects; a hard one
 * (seeking, flushing) starts over. */
static void g729a_dec_flush(GstAudioDecoder* decoder, gboolean hard) {
  G729ADec* self = G729A_DEC(decoder);
  if (!hard || self->codec == NULL) return;
  g729a_decoder_init(self->codec);
  self->next_pts = GST_CLOCK_TIME_NONE;
}

/* Fills `frames` frames the input skipped, as frames not sent: the library
 * conceals them after speech and continues the comfort noise after a SID
 * frame. inout: self; out: pcm. */
static void fill_frames(G729ADec* self, gint frames, gint16* pcm) {
  static const unsigned char nothing[1] = {0};
  for (gint i = 0; i < frames; ++i) {
    g729a_decode(self->codec, nothing, 0, pcm + i * G729A_FRAME_SAMPLES);
  }
}

static GstFlowReturn g729a_dec_handle_frame(GstAudioDecoder* decoder, GstBuffer* buffer) {
  G729ADec* self = G729A_DEC(decoder);
  if (buffer == NULL) return GST_FLOW_OK; /* Draining: nothing is held back. */

  gsize size = gst_buffer_get_size(buffer);
  gint frames;
  if (size == 0) {
    /* Time the input skipped (from a GAP event or a timestamp jump). */
    GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(duration) || duration > MAX_FILL_DURATION) duration = 0;
    frames = (gint)((duration + FRAME_DURATION / 2) / FRAME_DURATION);
  } else {
    frames = frames_in_payload(size);
    if (frames < 0) {
      GstFlowReturn ret = GST_FLOW_OK;
      GST_AUDIO_DECODER_ERROR(self, 1, STREAM, DECODE, ("Invalid G.729 payload"),
                              ("%" G_GSIZE_FORMAT " bytes: %" G_GSIZE_FORMAT
                               " bytes after the whole frames, which is no SID frame",
                               size, size % G729A_FRAME_BYTES),
                              ret);
      /* The payload's time is filled later, as any other gap. */
      if (ret == GST_FLOW_OK) ret = gst_audio_decoder_finish_frame(decoder, NULL, 1);
      return ret;
    }
  }
  if (GST_BUFFER_PTS_IS_VALID(buffer)) {
    self->next_pts = GST_BUFFER_PTS(buffer) + (GstClockTime)frames * FRAME_DURATION;
  } else if (GST_CLOCK_TIME_IS_VALID(self->next_pts)) {
    self->next_pts += (GstClockTime)frames * FRAME_DURATION;
  }
  if (frames == 0) return gst_audio_decoder_finish_frame(decoder, NULL, 1);

  GstBuffer* out = gst_audio_decoder_allocate_output_buffer(
      decoder, (gsize)frames * G729A_FRAME_SAMPLES * sizeof(gint16));
  GstMapInfo out_map;
  if (!gst_buffer_map(out, &out_map, GST_MAP_WRITE)) {
    gst_buffer_unref(out);
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Cannot write the output buffer"), (NULL));
    return GST_FLOW_ERROR;
  }
  gint16* pcm = (gint16*)out_map.data;
  if (size == 0) {
    fill_frames(self, frames, pcm);
  } else {
    GstMapInfo in_map;
    if (!gst_buffer_map(buffer, &in_map, GST_MAP_READ)) {
      gst_buffer_unmap(out, &out_map);
      gst_buffer_unref(out);
      GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Cannot read the input buffer"), (NULL));
      return GST_FLOW_ERROR;
    }
    gsize offset = 0;
    for (gint i = 0; i < frames; ++i) {
      int length = size - offset > 9 ? G729A_FRAME_BYTES : G729A_SID_BYTES;
      g729a_decode(self->codec, in_map.data + offset, length, pcm + i * G729A_FRAME_SAMPLES);
      offset += (gsize)length;
    }
    gst_buffer_unmap(buffer, &in_map);
  }
  gst_buffer_unmap(out, &out_map);
  return gst_audio_decoder_finish_frame(decoder, out, 1);
}

/* Ahead of the base class: a buffer that starts a whole frame or more after
 * the previous one ended is preceded by a GAP event spanning the time
 * between, which the base class hands to handle_frame as an empty buffer,
 * so the filled samples carry the gap's time. */
static GstFlowReturn g729a_dec_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
  G729ADec* self = G729A_DEC(parent);
  if (GST_BUFFER_PTS_IS_VALID(buffer) && GST_CLOCK_TIME_IS_VALID(self->next_pts) &&
      GST_BUFFER_PTS(buffer) >= self->next_pts + FRAME_DURATION / 2 &&
      GST_BUFFER_PTS(buffer) - self->next_pts <= MAX_FILL_DURATION) {
    GstClockTime start = self->next_pts;
    GstClockTime duration = GST_BUFFER_PTS(buffer) - start;
    GST_DEBUG_OBJECT(self, "filling %" GST_TIME_FORMAT " before %" GST_TIME_FORMAT,
                     GST_TIME_ARGS(duration), GST_TIME_ARGS(GST_BUFFER_PTS(buffer)));
    gst_pad_send_event(pad, gst_event_new_gap(start, duration));
  }
  return self->base_chain(pad, parent, buffer);
}

static void g729a_dec_class_init(G729ADecClass* klass) {
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstAudioDecoderClass* decoder_class = GST_AUDIO_DECODER_CLASS(klass);

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "G.729 Annex A decoder", "Codec/Decoder/Audio",
      "Decodes G.729 Annex A speech and SID frames into 8 kHz mono 16-bit audio; lost frames "
      "are concealed and untransmitted ones filled with comfort noise",
      "codec_g729a maintainers");

  decoder_class->start = GST_DEBUG_FUNCPTR(g729a_dec_start);
  decoder_class->stop = GST_DEBUG_FUNCPTR(g729a_dec_stop);
  decoder_class->set_format = GST_DEBUG_FUNCPTR(g729a_dec_set_format);
  decoder_class->flush = GST_DEBUG_FUNCPTR(g729a_dec_flush);
  decoder_class->handle_frame = GST_DEBUG_FUNCPTR(g729a_dec_handle_frame);

  GST_DEBUG_CATEGORY_INIT(g729a_dec_debug, "g729adec", 0, "G.729 Annex A decoder");
}

static void g729a_dec_init(G729ADec* self) {
  GstAudioDecoder* decoder = GST_AUDIO_DECODER(self);
  self->codec = NULL;
  self->next_pts = GST_CLOCK_TIME_NONE;
  /* GAP events reach handle_frame as empty buffers with a duration (with
   * plc-awareness, which set_format declares). */
  gst_audio_decoder_set_plc(decoder, TRUE);
  GstPad* sinkpad = GST_AUDIO_DECODER_SINK_PAD(self);
  self->base_chain = GST_PAD_CHAINFUNC(sinkpad);
  gst_pad_set_chain_function(sinkpad, GST_DEBUG_FUNCPTR(g729a_dec_chain));
}
