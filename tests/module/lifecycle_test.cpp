// Module registration, load/unload order and every failure path, on a
// private copy of the module so each test sees a fresh mapping.
#include <cstring>

#include "module/module_helpers.h"

namespace {

using moduletest::describe;
using moduletest::is_registered;
using Calls = std::vector<std::string>;

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { standin::take_host_calls(); }
  void TearDown() override {
    // No refusal may leak into the next test.
    standin::refuse_next_registration(0);
    standin::refuse_next_unregistration(0);
    EXPECT_TRUE(standin::take_log().empty()) << "the lifecycle must log nothing";
  }

  // The translator records the copy registered or tried to register.
  static const void* record_of(const std::vector<standin::HostCall>& calls, const char* name) {
    for (const auto& c : calls) {
      if (c.operation == "register_translator" && c.name == name) return c.record;
    }
    return nullptr;
  }

  moduletest::QuietLog quiet_;
  moduletest::ModuleCopy copy_;
};

TEST_F(Lifecycle, ConstructorRegistersDescriptorThenLoadRegistersInOrder) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  const auto calls = standin::take_host_calls();
  EXPECT_EQ(describe(calls),
            (Calls{"module_register codec_g729a 0", "cli_register g729 show version 0",
                   "register_translator g729tolin 0", "register_translator lintog729 0"}));
  EXPECT_EQ(m->load_result(), 0);

  const ModuleDescriptor* d = m->descriptor();
  EXPECT_STREQ(d->name, "codec_g729a");
  EXPECT_STREQ(d->description, "Orvanta G.729 Annex A Codec (optimized for barcelona_32)");
  EXPECT_EQ(d->flags, 2);
  ASSERT_NE(d->host_handle, nullptr);
  EXPECT_NE(d->load, nullptr);
  EXPECT_NE(d->reload, nullptr);
  EXPECT_NE(d->unload, nullptr);

  // Both translators carry the handle the host gave the descriptor.
  for (const char* name : {"g729tolin", "lintog729"}) {
    const auto* t = static_cast<const TranslatorDescriptor*>(record_of(calls, name));
    ASSERT_NE(t, nullptr) << name;
    EXPECT_TRUE(is_registered(t)) << name;
    EXPECT_EQ(t->module, d->host_handle) << name;
  }
  EXPECT_TRUE(is_registered(static_cast<const CliEntry*>(calls[1].record)));
}

TEST_F(Lifecycle, UnloadRemovesInReverseAndDestructorUnregisters) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  const auto loaded = standin::take_host_calls();
  const ModuleDescriptor* d = m->descriptor();

  EXPECT_EQ(m->unload(), 0);
  EXPECT_EQ(describe(standin::take_host_calls()),
            (Calls{"unregister_translator lintog729 0", "unregister_translator g729tolin 0",
                   "cli_unregister g729 show version 0"}));
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[2].record)));
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[3].record)));
  EXPECT_FALSE(is_registered(static_cast<const CliEntry*>(loaded[1].record)));

  m.reset();  // dlclose: the shared-object destructor runs
  EXPECT_EQ(describe(standin::take_host_calls()), (Calls{"module_unregister codec_g729a 0"}));
  for (const ModuleDescriptor* r : standin::registered_modules()) EXPECT_NE(r, d);
}

TEST_F(Lifecycle, ReloadChangesNothing) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  const auto loaded = standin::take_host_calls();
  EXPECT_EQ(m->reload(), 0);
  EXPECT_EQ(m->reload(), 0);
  EXPECT_TRUE(standin::take_host_calls().empty());
  EXPECT_TRUE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[2].record)));
  EXPECT_TRUE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[3].record)));
}

TEST_F(Lifecycle, RefusedDecoderLeavesNoTranslatorButTheCommand) {
  standin::refuse_registration_of("g729tolin", -7);
  auto m = copy_.open();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->load_result(), -7);
  const auto calls = standin::take_host_calls();
  // The unregistration of the refused decoder finds nothing to remove.
  EXPECT_EQ(describe(calls),
            (Calls{"module_register codec_g729a 0", "cli_register g729 show version 0",
                   "register_translator g729tolin -7", "unregister_translator g729tolin -1"}));
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(calls[2].record)));
  EXPECT_TRUE(is_registered(static_cast<const CliEntry*>(calls[1].record)));
}

TEST_F(Lifecycle, RefusedEncoderKeepsDecoderAndCommand) {
  standin::refuse_registration_of("lintog729", 5);
  auto m = copy_.open();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->load_result(), 5);
  const auto calls = standin::take_host_calls();
  EXPECT_EQ(describe(calls),
            (Calls{"module_register codec_g729a 0", "cli_register g729 show version 0",
                   "register_translator g729tolin 0", "register_translator lintog729 5"}));
  EXPECT_TRUE(is_registered(static_cast<const TranslatorDescriptor*>(calls[2].record)));
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(calls[3].record)));
  EXPECT_TRUE(is_registered(static_cast<const CliEntry*>(calls[1].record)));
}

TEST_F(Lifecycle, RefusedEncoderUnregistrationKeepsDecoderDropsCommand) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  const auto loaded = standin::take_host_calls();
  standin::refuse_unregistration_of("lintog729", 9);
  EXPECT_EQ(m->unload(), 9);
  EXPECT_EQ(describe(standin::take_host_calls()),
            (Calls{"unregister_translator lintog729 9", "cli_unregister g729 show version 0"}));
  EXPECT_TRUE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[2].record)));
  EXPECT_TRUE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[3].record)));
  EXPECT_FALSE(is_registered(static_cast<const CliEntry*>(loaded[1].record)));

  // Unmapping must not leave the host holding records of the gone object.
  m.reset();
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[2].record)));
  EXPECT_FALSE(is_registered(static_cast<const TranslatorDescriptor*>(loaded[3].record)));
}

TEST_F(Lifecycle, RefusedDecoderUnregistrationIsTheResult) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  standin::take_host_calls();
  standin::refuse_unregistration_of("g729tolin", 4);
  EXPECT_EQ(m->unload(), 4);
  EXPECT_EQ(describe(standin::take_host_calls()),
            (Calls{"unregister_translator lintog729 0", "unregister_translator g729tolin 4",
                   "cli_unregister g729 show version 0"}));
}

TEST_F(Lifecycle, SecondUnloadDoesNotCallTheModuleAgain) {
  auto m = copy_.open();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->unload(), 0);
  standin::take_host_calls();
  EXPECT_EQ(m->unload(), 0);
  EXPECT_TRUE(standin::take_host_calls().empty());
}

TEST(ModuleOpen, MissingFileIsAnErrorNotACrash) {
  std::string error;
  EXPECT_EQ(standin::Module::open("/nonexistent/codec_g729a.so", error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
