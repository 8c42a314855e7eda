// Nothing is allocated on the audio path: this program replaces the global
// allocation functions with counting ones, creates the instances, then
// counts every allocation made while audio goes through framein, frameout
// and the codec's own functions.
#include <g729a/g729a.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "g729a/codec.h"
#include "support/test_support.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void note_allocation() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
}

// Counts the allocations made while it is alive.
class AllocationCount {
 public:
  AllocationCount() {
    allocations = 0;
    counting = true;
  }
  ~AllocationCount() { counting = false; }
  long value() const { return allocations.load(); }
};

}  // namespace

// The C++ allocation functions, for this program and the module it loads.
// They allocate with malloc, so they release with free (which the compiler
// cannot see through the replacement and warns about).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  note_allocation();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  note_allocation();
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
  return operator new(n, t);
}
void* operator new(std::size_t n, std::align_val_t a) {
  note_allocation();
  void* p = nullptr;
  if (posix_memalign(&p, std::max(sizeof(void*), static_cast<std::size_t>(a)), n ? n : 1) == 0)
    return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return operator new(n, a);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

// The C allocation functions, over the C library's own. Sanitizer builds
// bring their own malloc, which must stay in place; there only the C++
// functions are counted.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define G729A_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void* malloc(std::size_t n) {
  note_allocation();
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  note_allocation();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  note_allocation();
  return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
  note_allocation();
  return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
  note_allocation();
  return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
  note_allocation();
  void* p = __libc_memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}
#endif

namespace {

std::vector<std::int16_t> speech_sample() {
  return testsupport::read_pcm(std::string(G729A_SOURCE_DIR) +
                               "/data/speech/librivox_austen_8k.raw");
}

// The counter sees allocations from this program and from the module;
// without this a test that counts nothing would pass.
TEST(AllocationCounter, SeesWhatIsAllocated){{AllocationCount count;
auto* p = new int(3);
delete p;
std::vector<double> v(100);
EXPECT_EQ(count.value(), 2);
}  // namespace
{
  // Made inside a shared library (the switch stand-in), as the module's
  // allocations would be.
  testsupport::module();
  AllocationCount count;
  const auto names = standin::registered_translators();
  EXPECT_GE(count.value(), 1);
}
#ifdef G729A_COUNT_MALLOC
{
  AllocationCount count;
  void* volatile p = std::malloc(64);
  std::free(p);
  EXPECT_EQ(count.value(), 1);
}
#endif
}

// Through the loaded module, as the switch drives it: framein of host
// frames of many sizes, frameout, and payloads of speech and SID frames.
TEST(AudioPath, TranslatorsAllocateNothingAfterCreation) {
  const auto pcm = speech_sample();
  standin::Channel encoder(testsupport::encoder_translator());
  standin::Channel decoder(testsupport::decoder_translator());
  TranslatorDescriptor* enc = testsupport::encoder_translator();
  TranslatorDescriptor* dec = testsupport::decoder_translator();
  TranslatorInstance* ep = encoder.instance();
  TranslatorInstance* dp = decoder.instance();
  const std::uint8_t sid[2] = {0x5A, 0x3C};
  std::vector<std::uint8_t> payload(10 * 8 + 2);
  std::vector<std::int16_t> decoded(8000);
  HostFrame in{};
  in.frame_type = CVN_FRAME_VOICE;
  HostFrame packet{};
  packet.frame_type = CVN_FRAME_VOICE;
  packet.format = G729A;
  packet.payload = payload.data();

  AllocationCount count;
  long frames = 0;
  const int sizes[] = {160, 1, 7, 79, 333, 160, 80, 240};
  for (std::size_t fed = 0, k = 0; fed + 400 < pcm.size() && fed < 80000; ++k) {
    const int n = sizes[k % std::size(sizes)];
    in.format = SLINEAR;
    in.samples = n;
    in.data_length = 2 * n;
    in.payload = const_cast<std::int16_t*>(pcm.data() + fed);
    ASSERT_EQ(enc->framein(ep, &in), 0);
    fed += static_cast<std::size_t>(n);
    if (HostFrame* out = enc->frameout(ep)) {
      // The encoded frames, with a SID frame after every fourth packet.
      const auto* bytes = static_cast<const std::uint8_t*>(out->payload);
      int length = out->data_length;
      for (int i = 0; i < length; ++i) payload[static_cast<std::size_t>(i)] = bytes[i];
      if (++frames % 4 == 0) {
        payload[static_cast<std::size_t>(length)] = sid[0];
        payload[static_cast<std::size_t>(length) + 1] = sid[1];
        length += 2;
      }
      packet.data_length = length;
      ASSERT_EQ(dec->framein(dp, &packet), 0);
      // What the switch does when it collects the output.
      dp->sample_count = 0;
      dp->byte_count = 0;
    }
  }
  EXPECT_GT(frames, 100);
  EXPECT_EQ(count.value(), 0);
}

// The codec's functions on their own, after the states are set up.
TEST(AudioPath, CodecFunctionsAllocateNothing) {
  const auto pcm = speech_sample();
  auto enc = std::make_unique<g729a::EncoderState>();
  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::encoder_init(*enc);
  g729a::decoder_init(*dec);
  std::int16_t out[80];

  AllocationCount count;
  for (std::size_t f = 0; f + 80 <= pcm.size() && f < 400 * 80; f += 80) {
    std::array<std::uint8_t, 10> bytes;
    g729a::encoder_encode(*enc, std::span<const std::int16_t, 80>(&pcm[f], 80), bytes);
    ASSERT_TRUE(g729a::decoder_decode(*dec, bytes, out));
    if (f % 800 == 0) {
      const std::uint8_t sid[2] = {0x12, 0x34};
      ASSERT_TRUE(g729a::decoder_decode(*dec, sid, out));
      g729a::decoder_decode_untransmitted(*dec, out);
    }
    if (f % 2400 == 0) g729a::decoder_decode_erased(*dec, out);
  }
  EXPECT_EQ(count.value(), 0);
}

// The C library (the shared library, whose malloc is this program's counting
// one): only the _create functions allocate. The DTX encoder goes through
// speech, pauses and comfort-noise updates; the decoder through what it
// sends, SID frames, gaps and lost frames.
TEST(AudioPath, LibraryAllocatesOnlyInCreate) {
  const auto pcm = speech_sample();
  G729AEncoder* enc = nullptr;
  G729ADecoder* dec = nullptr;
  {
    AllocationCount count;
    enc = g729a_encoder_create(G729A_DTX, nullptr);
    dec = g729a_decoder_create(nullptr);
#ifdef G729A_COUNT_MALLOC
    EXPECT_EQ(count.value(), 2);
#endif
  }
  ASSERT_NE(enc, nullptr);
  ASSERT_NE(dec, nullptr);
  std::array<int, 11> kinds{};
  AllocationCount count;
  for (std::size_t f = 0; f + 80 <= pcm.size() && f < 800 * 80; f += 80) {
    std::int16_t in[80], out[80];
    unsigned char frame[10];
    // Every other second quiet: the encoder goes into DTX and back.
    for (std::size_t i = 0; i < 80; ++i) {
      in[i] = (f / 8000) % 2 ? static_cast<std::int16_t>(pcm[f + i] / 64 + int(i * 37 % 7) - 3)
                             : pcm[f + i];
    }
    const int n = g729a_encode(enc, in, frame, 10);
    ASSERT_GE(n, 0);
    ++kinds[std::size_t(n)];
    ASSERT_EQ(g729a_decode(dec, f % 2400 ? frame : nullptr, n, out), 80);
  }
  EXPECT_EQ(count.value(), 0);
  EXPECT_TRUE(kinds[10] > 0 && kinds[2] > 0 && kinds[0] > 0);
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);
}

}  // namespace
