// The module's entry points for frames that never arrived: exported under
// the declared names and types, and bound by the output buffer's room as
// framein is.
#include <type_traits>

#include "codec_g729a.h"
#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

using MissingFrameFn = int (*)(TranslatorInstance*);
static_assert(std::is_same_v<decltype(&g729tolin_erased), MissingFrameFn>);
static_assert(std::is_same_v<decltype(&g729tolin_untransmitted), MissingFrameFn>);

struct EntryPoint {
  const char* name;
};

class MissingFrame : public ::testing::TestWithParam<EntryPoint> {
 protected:
  MissingFrame() : channel_(testsupport::decoder_translator()) {
    fn_ = reinterpret_cast<MissingFrameFn>(testsupport::module().symbol(GetParam().name));
  }
  TranslatorInstance* pvt() { return channel_.instance(); }

  moduletest::QuietLog quiet_;
  standin::Channel channel_;
  MissingFrameFn fn_ = nullptr;
};

TEST_P(MissingFrame, AppendsOneFrameWhileThereIsRoom) {
  ASSERT_NE(fn_, nullptr) << GetParam().name << " is not exported";
  EXPECT_EQ(fn_(pvt()), 0);
  EXPECT_EQ(pvt()->sample_count, 80);
  EXPECT_EQ(pvt()->byte_count, 160);
  // The last frame that fits ends the buffer exactly.
  pvt()->sample_count = 7920;
  pvt()->byte_count = 15840;
  EXPECT_EQ(fn_(pvt()), 0);
  EXPECT_EQ(pvt()->sample_count, 8000);
  EXPECT_EQ(pvt()->byte_count, 16000);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST_P(MissingFrame, RefusesAFullBufferWithOneLogLine) {
  ASSERT_NE(fn_, nullptr);
  pvt()->sample_count = 7921;
  pvt()->byte_count = 15842;
  EXPECT_EQ(fn_(pvt()), -1);
  EXPECT_EQ(pvt()->sample_count, 7921);
  EXPECT_EQ(pvt()->byte_count, 15842);
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].level, 3);
  EXPECT_EQ(log[0].function, GetParam().name);
  EXPECT_EQ(log[0].message, "Out of buffer space\n");
}

INSTANTIATE_TEST_SUITE_P(Module, MissingFrame,
                         ::testing::Values(EntryPoint{"g729tolin_erased"},
                                           EntryPoint{"g729tolin_untransmitted"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
