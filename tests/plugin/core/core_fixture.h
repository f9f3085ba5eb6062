// Fixture of the plug-in core tests: a fresh kova_websocket.dll under the substitute host, a
// chosen build of the Nolvex.dll double, an empty log, and helpers to send messages and read
// the lines one routine logged.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "log_file_reader.h"
#include "nolvex_control.h"
#include "plugin_host.h"

namespace kova_test {

// (label, message) pairs of log lines.
using Lines = std::vector<std::pair<std::string, std::string>>;

// The error object the plug-in sends when the library gives no answer, in UTF-8.
extern const char kErrorObject[];

// (label, message) of every line the given routine logged, in file order.
Lines LinesOf(const std::string& function);

class PluginCoreTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads the plug-in afresh (unloading any earlier one and its library), lets the plug-in find
  // the given build of the library (or none) and calls kova_ws_init.
  void Start(nolvex_double::Variant variant);
  void StartWithoutLibrary();

  // Calls wbs_on_message with the test server, a context and the message bytes.
  int Message(const std::string& bytes, void* context = nullptr);

  std::unique_ptr<host_double::PluginHost> host_;
  host_double::FakeServer server_;
  const wbs_callback_table_t* table_ = nullptr;
};

}  // namespace kova_test
