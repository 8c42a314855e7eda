#include "codec/reference/state_compare.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace g729a {
namespace {

// The fields of each record in declaration order. The counts below fail to
// compile when a record gains or loses a field these lists do not name.
#define G729A_ENCODER_STATE_FIELDS(X) \
  X(speech_buffer)                    \
  X(weighted_speech_buffer)           \
  X(excitation_buffer)                \
  X(lsp_previous)                     \
  X(lsp_previous_quantized)           \
  X(target_filter_memory)             \
  X(weighted_speech_filter_memory)    \
  X(zero_filter_memory)               \
  X(pitch_sharpening)                 \
  X(lsf_ma_memory)                    \
  X(taming_error)                     \
  X(gain_predictor_memory)            \
  X(preprocess_memory)                \
  X(dtx)                              \
  X(vad)                              \
  X(dtx_state)

#define G729A_VAD_FEATURES_FIELDS(X) \
  X(energy)                          \
  X(low)                             \
  X(lsf)                             \
  X(distance)
#define G729A_VAD_STATE_FIELDS(X) \
  X(hangover)                     \
  X(active_run)                   \
  X(block_frames)                 \
  X(energy_bg)                    \
  X(low_bg)                       \
  X(speech_level)                 \
  X(lsf_bg)                       \
  X(block_min)                    \
  X(block_low)                    \
  X(previous_block_min)           \
  X(previous_block_low)           \
  X(block_lsf)                    \
  X(previous_block_lsf)           \
  X(last)                         \
  X(active)
#define G729A_DTX_STATE_FIELDS(X) \
  X(r_history)                    \
  X(history_count)                \
  X(history_next)                 \
  X(frames_since_sid)             \
  X(sid_energy_index)             \
  X(sid_filter)                   \
  X(cng_seed)                     \
  X(previous_frame_kind)          \
  X(sid_gain)                     \
  X(sid_received_gain)            \
  X(sid_lsp)

#define G729A_DECODER_STATE_FIELDS(X) \
  X(excitation_buffer)                \
  X(lsp_previous)                     \
  X(synthesis_memory)                 \
  X(pitch_sharpening)                 \
  X(previous_pitch_delay)             \
  X(gain_code)                        \
  X(gain_pitch)                       \
  X(previous_frame_kind)              \
  X(cng_seed)                         \
  X(lsf_ma_memory)                    \
  X(sid_gain)                         \
  X(sid_lsp)                          \
  X(sid_received_gain)                \
  X(gain_predictor_memory)            \
  X(postproc_memory)                  \
  X(residual_buffer)                  \
  X(postfilter_memory)                \
  X(tilt_memory)                      \
  X(agc_gain)                         \
  X(synthesis_buffer)                 \
  X(previous_lsf_mode)                \
  X(received_frame_kind)              \
  X(erasure_seed)

// Converts to any field type: T{AnyField{}, ...} compiles for as many
// initializers as T has fields, each std::array taking one whole.
struct AnyField {
  template <class T>
  operator T() const;
};

template <class T, class... Fields>
constexpr std::size_t field_count() {
  if constexpr (requires { T{Fields{}..., AnyField{}}; }) {
    return field_count<T, Fields..., AnyField>();
  } else {
    return sizeof...(Fields);
  }
}

#define G729A_COUNT_FIELD(name) +1
static_assert(field_count<EncoderState>() == 0 G729A_ENCODER_STATE_FIELDS(G729A_COUNT_FIELD),
              "EncoderState has a field the comparison does not name");
static_assert(field_count<DecoderState>() == 0 G729A_DECODER_STATE_FIELDS(G729A_COUNT_FIELD),
              "DecoderState has a field the comparison does not name");
static_assert(field_count<VadFeatures>() == 0 G729A_VAD_FEATURES_FIELDS(G729A_COUNT_FIELD),
              "VadFeatures has a field the comparison does not name");
static_assert(field_count<VadState>() == 0 G729A_VAD_STATE_FIELDS(G729A_COUNT_FIELD),
              "VadState has a field the comparison does not name");
static_assert(field_count<DtxState>() == 0 G729A_DTX_STATE_FIELDS(G729A_COUNT_FIELD),
              "DtxState has a field the comparison does not name");

// The fields named in the order they are declared, the last one ending the
// record (but for padding).
#define G729A_FIELD_END(Record, name) (offsetof(Record, name) + sizeof(Record::name))
template <std::size_t N>
constexpr bool in_order(const std::array<std::size_t, N>& offsets) {
  for (std::size_t i = 1; i < N; ++i) {
    if (offsets[i] <= offsets[i - 1]) return false;
  }
  return true;
}
#define G729A_ENCODER_OFFSET(name) offsetof(EncoderState, name),
#define G729A_DECODER_OFFSET(name) offsetof(DecoderState, name),
static_assert(in_order(std::array{G729A_ENCODER_STATE_FIELDS(G729A_ENCODER_OFFSET)}));
static_assert(in_order(std::array{G729A_DECODER_STATE_FIELDS(G729A_DECODER_OFFSET)}));
constexpr std::size_t round_up(std::size_t n, std::size_t alignment) {
  return (n + alignment - 1) / alignment * alignment;
}
static_assert(round_up(G729A_FIELD_END(EncoderState, dtx_state), alignof(EncoderState)) ==
              sizeof(EncoderState));
static_assert(round_up(G729A_FIELD_END(DecoderState, erasure_seed), alignof(DecoderState)) ==
              sizeof(DecoderState));

std::string value_text(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string value_text(bool v) {
  return v ? "true" : "false";
}

std::string value_text(std::int32_t v) {
  return std::to_string(v);
}

std::string value_text(std::int16_t v) {
  return std::to_string(v);
}

// Records with padding between their fields go field by field.
bool differs(const VadFeatures& a, const VadFeatures& b, const std::string& name, std::string& out);
bool differs(const VadState& a, const VadState& b, const std::string& name, std::string& out);
bool differs(const DtxState& a, const DtxState& b, const std::string& name, std::string& out);

// Appends "name[i][j]: a != b" for the first element whose bits differ;
// returns whether one did. in: a, b, name; inout: out.
// Fields are numbers and arrays of them, without padding: equal bits are
// equal bytes. Names are only formed for the difference.
template <class T>
bool differs(const T& a, const T& b, const std::string& name, std::string& out) {
  if (std::memcmp(&a, &b, sizeof(T)) == 0) return false;
  if constexpr (std::is_arithmetic_v<T>) {
    out = name + ": " + value_text(a) + " != " + value_text(b);
    return true;
  } else {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (differs(a[i], b[i], name + "[" + std::to_string(i) + "]", out)) return true;
    }
    return false;
  }
}

#define G729A_COMPARE_MEMBER(member) \
  if (differs(a.member, b.member, name + "." #member, out)) return true;

bool differs(const VadFeatures& a, const VadFeatures& b, const std::string& name,
             std::string& out) {
  G729A_VAD_FEATURES_FIELDS(G729A_COMPARE_MEMBER)
  return false;
}

bool differs(const VadState& a, const VadState& b, const std::string& name, std::string& out) {
  G729A_VAD_STATE_FIELDS(G729A_COMPARE_MEMBER)
  return false;
}

bool differs(const DtxState& a, const DtxState& b, const std::string& name, std::string& out) {
  G729A_DTX_STATE_FIELDS(G729A_COMPARE_MEMBER)
  return false;
}

}  // namespace

#define G729A_COMPARE_FIELD(name) \
  if (differs(a.name, b.name, #name, out)) return out;

std::string first_state_difference(const EncoderState& a, const EncoderState& b) {
  std::string out;
  G729A_ENCODER_STATE_FIELDS(G729A_COMPARE_FIELD)
  return out;
}

std::string first_state_difference(const DecoderState& a, const DecoderState& b) {
  std::string out;
  G729A_DECODER_STATE_FIELDS(G729A_COMPARE_FIELD)
  return out;
}

}  // namespace g729a
