// The longer --help texts.
#pragma once

namespace g729tool {

inline constexpr const char* kMainDescription =
    "g729a - G.729 Annex A speech coding through the codec_g729a module.\n"
    "\n"
    "The tool loads codec_g729a.so through the switch stand-in and does all its\n"
    "codec work through the module's translators (lintog729, g729tolin), as a\n"
    "switch would. 'g729a demo [DIR]' is a round trip of the bundled speech\n"
    "sample, written into DIR (default g729a-demo/).\n"
    "\n"
    "  g729a encode IN OUT        audio -> .g729 or .bit\n"
    "  g729a decode IN OUT        .g729, .bit, .pcap, .pcapng -> .raw or WAV\n"
    "  g729a decode --call IN OUT both directions of a captured call, stereo WAV\n"
    "  g729a roundtrip IN OUT     encode, decode, print SNR and speed\n"
    "  g729a conformance DIR      published test sequences against their floors\n"
    "  g729a streams FILE...      the RTP streams of captures, one line each\n"
    "  g729a demo [DIR]           the built-in speech sample, encoded and decoded\n"
    "  g729a console help         the module's console commands\n"
    "'-' is standard input or output: ... | g729a encode - - | g729a decode - - | ...\n";

inline constexpr const char* kMainFooter =
    "Module: --module PATH, else $G729A_MODULE, else codec_g729a.so beside the\n"
    "g729a executable.\n"
    "\n"
    "Exit status: 0 success, 1 bad input (unreadable, wrong or truncated file,\n"
    "nothing to decode, conformance floor missed), 2 usage error.\n"
    "Outputs are written to a temporary file beside the destination and renamed\n"
    "when complete: a failed or interrupted run never leaves a partial file, and\n"
    "a command with several outputs writes all or none. An output that is an\n"
    "input, or a write-protected file, is never replaced.\n"
    "Every run ends with a summary line: frames (speech, SID, silent, erased;\n"
    "then concealed and comfort-noise frames when any were missing), duration,\n"
    "bit rate, time taken and speed as a multiple of real time.\n"
    "Use 'g729a COMMAND --help' for each command.";

inline constexpr const char* kEncodeFooter =
    "Inputs: .raw, .pcm, .sln are headerless 16-bit little-endian mono at 8 kHz;\n"
    "anything else is read with libsndfile (WAV, FLAC, Ogg, ...), mixed down to\n"
    "mono and converted to 8 kHz (a note says so); sample rates outside\n"
    "1 kHz..1 MHz are refused, float samples that are not finite numbers become\n"
    "silence. A last partial frame is completed with silence.\n"
    "Outputs: .g729 (concatenated 10-byte frames) or .bit (ITU serial format:\n"
    "sync word 0x6B21, length word 80, one word per bit).\n"
    "Batch: g729a encode -j 4 -o OUTDIR IN... writes OUTDIR/NAME.g729 (or .bit\n"
    "with --to bit), each input on its own translator instance.";

inline constexpr const char* kDecodeFooter =
    "Inputs:\n"
    "  .g729   concatenated 10-byte speech frames, optionally ending in a 2-byte\n"
    "          SID frame; any other remainder is left out with a warning naming\n"
    "          the byte where the whole frames stop.\n"
    "  .bit    ITU serial format; speech and SID frames are decoded, an erased\n"
    "          frame and a frame that carried nothing each give 80 samples\n"
    "          (10 ms), so the timeline never shifts.\n"
    "  .pcap, .pcapng\n"
    "          RTP over UDP over IPv4 or IPv6 (Ethernet, VLAN, Linux cooked, raw\n"
    "          IP, loopback); pcapng interfaces may differ in link type.\n"
    "          G.729 is payload type 18 and any type SIP/SDP in the capture maps\n"
    "          to G729/8000, or --pt N alone; the stream with the most packets\n"
    "          unless --ssrc. The packets are put in order by extended sequence\n"
    "          number over the whole file: a late packet is used in its place, a\n"
    "          duplicate dropped, both counted. Each RTP payload is one decoder\n"
    "          payload (speech frames, optionally a trailing SID frame). Lost\n"
    "          packets and timestamp gaps are filled for their duration and\n"
    "          reported; a timestamp jump over 10 minutes is a restart and not\n"
    "          filled, and at most 4 hours are filled in all. A packet more than\n"
    "          100 behind starts over the counter if the stream goes on from it\n"
    "          (not filled), else it is a stray and skipped. A payload of\n"
    "          invalid length is reported with its packet number and decoding\n"
    "          goes on. A capture cut short keeps its complete packets, with a\n"
    "          warning naming where the file stops.\n"
    "Missing frames (--gaps conceal, the default): erased frames, lost packets\n"
    "and the rest of a refused payload are concealed by the decoder; frames\n"
    "that carried nothing and timestamp gaps after a SID frame become comfort\n"
    "noise, after speech (its SID frame lost) they are concealed. --gaps silence\n"
    "fills them with zeros. The summary counts concealed and comfort-noise frames.\n"
    "Standard input (-) and pipes: the format is found from the content.\n"
    "Outputs: .raw, .pcm, .sln headerless 16-bit little-endian; .wav (or no\n"
    "extension) a 16-bit mono WAV at 8 kHz; any other extension is refused, as\n"
    "is an output that is an input file.\n"
    "--all: every G.729 stream of a capture to its own file, OUT-SSRC.wav (or\n"
    "OUTDIR/NAME-SSRC.wav with -o), all or none; the summary names them.\n"
    "--call: the two directions of one call (the busiest stream, or --ssrc, and\n"
    "the stream between the same addresses the other way) into one stereo WAV,\n"
    "aligned by capture time; left is the direction that started first. A\n"
    "one-way call leaves the missing direction silent, with a note.\n"
    "Batch: g729a decode -j 4 -o OUTDIR IN... writes OUTDIR/NAME.wav (or .raw\n"
    "with --to raw).";

inline constexpr const char* kStreamsFooter =
    "One line per RTP stream (an SSRC between two endpoints with one payload\n"
    "type): SSRC, source -> destination, payload type and codec, start (UTC) and\n"
    "duration by capture time, packets, expected (by extended sequence number),\n"
    "lost (count and %), duplicates, reordered (arrived after a later packet),\n"
    "mean and maximum interarrival jitter (RFC 3550, 8 kHz clock, in ms), SID\n"
    "packets and DTX gaps (a timestamp gap after a SID packet). Payload type 18\n"
    "is G.729, as is any type SIP/SDP in the capture maps to G729/8000.\n"
    "--json prints one JSON array with the same figures.";

inline constexpr const char* kRoundTripFooter =
    "Encodes IN, decodes the frames again and writes the decoded audio to OUT\n"
    "(.raw headerless, else WAV). Prints the SNR and segmental SNR of the output\n"
    "against the input, the output taken 40 samples later (the codec's delay),\n"
    "then against the input's speech band (the input through the encoder's\n"
    "140 Hz high-pass, which removes DC and rumble on purpose); segmental SNR\n"
    "averages 10 ms frames, each clamped to -10..80 dB, leaving out frames of\n"
    "negligible energy.";

inline constexpr const char* kBenchFooter =
    "Encodes the built-in speech sample through lintog729 and decodes its frames\n"
    "through g729tolin, in 20 ms host frames as a switch hands them over, and\n"
    "prints the CPU time per 10 ms frame of each (median of five runs) and how\n"
    "many full-duplex channels (each encoding and decoding 100 frames a second)\n"
    "one core carries. G729A_SIMD=scalar, sse2 or avx2 picks the module's vector\n"
    "path; the codec's frames and samples are the same on each.\n";

inline constexpr const char* kConformanceFooter =
    "DIR holds the published sequences: NAME.BIT with NAME.IN (input) and\n"
    "NAME.PST (published decoder output), or NAMEa.bit with NAME.bin and\n"
    "NAMEa.out, directly in DIR or one directory below it (g729a/, g729b/).\n"
    "Per sequence: the SNR of our decoding of the bitstream against the\n"
    "published output, and the segmental SNR of our encode-and-decode round\n"
    "trip of the input next to that of the published chain (input against the\n"
    "published output), both with the 40-sample codec delay.\n"
    "Floors (exit status 0 when all are met):\n"
    "  decode SNR, dB:  ALGTHM 28, FIXED 32, LSP 22, PARITY 32, PITCH 41,\n"
    "                   SPEECH 33, TAME 32, TEST 30, ERASURE 26, OVERFLOW -6,\n"
    "                   tstseq1a 30, tstseq2a 6, tstseq3a 13, tstseq4a 14,\n"
    "                   tstseq6 26.5; other sequences 20\n"
    "  round trip segmental SNR: at least the published chain's less 1 dB\n"
    "  comfort-noise level of tstseq3a, tstseq4a and tstseq6: within 1 dB of the\n"
    "                   published output's\n"
    "Erased and untransmitted frames are concealed and filled with comfort noise\n"
    "as decoding does; the floors of those sequences are what the module's\n"
    "procedures reach, less about 1 dB. Where comfort noise was decoded, the\n"
    "mean level of those frames against the published output's is shown.\n"
    "A sequence without a published output is not checked, and fails the run.\n"
    "Decoding figures are for information only for tstseq5 (overload: the\n"
    "published decoder rescales its fixed-point synthesis there) and for\n"
    "unknown sequences with erased or untransmitted frames.";

}  // namespace g729tool
