// Fixture of the plug-in core tests (see core_fixture.h).
#include "core_fixture.h"

namespace kova_test {

const char kErrorObject[] = "{\"code\":60000,\"method\":\"\",\"msg\":\"异常错误\"}";

void PluginCoreTest::SetUp() {
  ASSERT_TRUE(RemoveLogTree());
  nolvex_double::Reset();
}

void PluginCoreTest::TearDown() {
  host_.reset();
  nolvex_double::UseVariant(nolvex_double::Variant::kFull);
}

void PluginCoreTest::Start(nolvex_double::Variant variant) {
  host_.reset();
  nolvex_double::UseVariant(variant);
  host_ = std::make_unique<host_double::PluginHost>();
  ASSERT_TRUE(host_->loaded());
  table_ = host_->Init();
  ASSERT_NE(nullptr, table_);
}

void PluginCoreTest::StartWithoutLibrary() {
  host_.reset();
  nolvex_double::UseNoLibrary();
  host_ = std::make_unique<host_double::PluginHost>();
  ASSERT_TRUE(host_->loaded());
  table_ = host_->Init();
  ASSERT_NE(nullptr, table_);
}

int PluginCoreTest::Message(const std::string& bytes, void* context) {
  return table_->on_message(reinterpret_cast<void*>(0x11), server_.get(),
                            reinterpret_cast<void*>(0x22), context, bytes.data(),
                            static_cast<unsigned int>(bytes.size()));
}

Lines LinesOf(const std::string& function) {
  Lines lines;
  for (const LogLine& line : ReadLogLines()) {
    if (line.function == function) lines.emplace_back(line.label, line.message);
  }
  return lines;
}

}  // namespace kova_test
