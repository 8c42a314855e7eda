// Linear audio through both translators, as the host chains them.
#include <algorithm>
#include <thread>

#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

TEST(Chain, RoundTripGivesEightySamplesPerWholeFrame) {
  testsupport::module();
  moduletest::QuietLog quiet;
  const auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  ASSERT_GE(pcm.size(), 16000u);
  standin::Chain chain;
  std::vector<std::int16_t> out;
  std::size_t fed = 0;
  // Host-sized pieces (20 ms), then odd ones that leave partial frames behind.
  for (const std::size_t n : {160, 160, 250, 70, 1, 399, 160}) {
    ASSERT_EQ(chain.feed({pcm.data() + fed, n}, out), 0);
    fed += n;
    EXPECT_EQ(out.size(), fed / 80 * 80) << "after " << fed << " samples";
    EXPECT_EQ(chain.encoder().instance()->sample_count, static_cast<int>(fed % 80));
  }
  while (fed < 16000) {
    const std::size_t n = std::min<std::size_t>(800, 16000 - fed);
    ASSERT_EQ(chain.feed({pcm.data() + fed, n}, out), 0);
    fed += n;
  }
  EXPECT_EQ(out.size(), 16000u);
  EXPECT_EQ(chain.decoder().instance()->sample_count, 0);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST(Chain, ChannelsOnSeparateThreadsShareNothing) {
  testsupport::module();
  const auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  auto run = [&pcm](std::vector<std::int16_t>& out) {
    standin::Chain chain;
    for (std::size_t fed = 0; fed < 4000; fed += 160) chain.feed({pcm.data() + fed, 160}, out);
  };
  std::vector<std::int16_t> alone;
  run(alone);
  ASSERT_EQ(alone.size(), 4000u);
  std::vector<std::vector<std::int16_t>> outs(3);
  std::vector<std::thread> threads;
  for (auto& out : outs) threads.emplace_back(run, std::ref(out));
  for (auto& t : threads) t.join();
  for (const auto& out : outs) EXPECT_EQ(out, alone);
}

}  // namespace
