// Labelled test material for voice activity detection, generated from the
// bundled speech: utterances separated by pauses, mixed with synthetic
// noises at a chosen signal-to-noise ratio, with a label per 10 ms frame.
#pragma once

#include <cstdint>
#include <vector>

namespace labelled {

enum class Noise { None, White, Pink, Rumble, Babble };

enum class Label {
  Strong,  // speech within 15 dB of the active speech level
  Weak,    // quieter speech, or the edge of an utterance
  Near,    // pause within 300 ms of speech
  Pause,   // pause farther than 300 ms from speech
};

struct Material {
  std::vector<std::int16_t> pcm;  // whole frames
  std::vector<Label> labels;      // one per frame
  std::vector<double> noise;      // the noise alone, as mixed in
  int lead_in_frames = 0;         // noise alone before the first utterance
};

// Speech at `speech_dbov` active level (dB below a full-scale sine), the
// noise `snr_db` below it (ignored for Noise::None). The same arguments
// always give the same material.
Material make(Noise noise, double snr_db, double speech_dbov = -26.0);

}  // namespace labelled
