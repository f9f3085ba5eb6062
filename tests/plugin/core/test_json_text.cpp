// The plug-in's outgoing JSON: AnsiToUtf8 under code page 936, the compact writer, and the
// error object CallResponse::Encode builds.
#include <gtest/gtest.h>
#include <json/value.h>
#include <windows.h>

#include "call_response.h"
#include "dispatch.h"
#include "gbk.h"
#include "json_text.h"
#include "result_codes.h"

namespace {

using kova_test::Gbk;

TEST(AnsiToUtf8, RunsUnderTheChineseAnsiCodePage) { ASSERT_EQ(936u, GetACP()); }

TEST(AnsiToUtf8, ConvertsEmptyAsciiAndGbkText) {
  EXPECT_EQ("", AnsiToUtf8(""));
  EXPECT_EQ("plain ASCII {\"a\":1}", AnsiToUtf8("plain ASCII {\"a\":1}"));
  const std::string gbk = "\xd2\xec\xb3\xa3\xb4\xed\xce\xf3";  // the four characters of 60000
  const std::string utf8 = AnsiToUtf8(gbk);
  EXPECT_EQ(12u, utf8.size());
  EXPECT_EQ("异常错误", utf8);
  EXPECT_EQ("a异常错误b", AnsiToUtf8("a" + gbk + "b"));
  // No terminating NUL within the length; NULs inside the input are converted like any byte.
  EXPECT_EQ(std::string("x\0y", 3), AnsiToUtf8(std::string("x\0y", 3)));
}

TEST(AnsiToUtf8, BytesNoCodePageDefinesStillGiveText) {
  // A lead byte without its trail byte and the undefined byte 0xFF: converted as the system
  // converts them, never an empty result or a crash.
  for (const std::string& odd : {std::string("\x81"), std::string("\xff"), std::string("a\x81")}) {
    EXPECT_FALSE(AnsiToUtf8(odd).empty());
  }
}

TEST(WriteJsonText, IsCompactSortedAndKeepsHighBytes) {
  Json::Value root(Json::objectValue);
  root["zeta"] = "last";
  root["alpha"] = Json::UInt(7);
  root["data"] = Json::Value(Json::objectValue);
  root["data"]["b"] = true;
  root["data"]["a"] = "\xd2\xec";
  root["ab"] = "";
  root["a"] = "quote\" backslash\\ newline\n tab\t";
  EXPECT_EQ(
      "{\"a\":\"quote\\\" backslash\\\\ newline\\n tab\\t\",\"ab\":\"\",\"alpha\":7,"
      "\"data\":{\"a\":\"\xd2\xec\",\"b\":true},\"zeta\":\"last\"}",
      WriteJsonText(root));
}

TEST(CallResponseEncode, TheErrorObjectIsExactUtf8WithoutLineFeed) {
  CallResponse error;
  error.code = CODE_EXCEPTION;
  error.msg = GetResultMessage(CODE_EXCEPTION);
  EXPECT_EQ("{\"code\":60000,\"method\":\"\",\"msg\":\"异常错误\"}", error.Encode());
  // The ready-made copy for memory exhaustion is the same text.
  EXPECT_EQ(error.Encode(), std::string(kExceptionAnswerUtf8));
}

TEST(CallResponseEncode, WritesCodeUnsignedAndEscapesTexts) {
  CallResponse response;
  response.code = 4294967295u;
  response.method = "m\"1";
  response.msg = Gbk("成功") + "\\";
  EXPECT_EQ("{\"code\":4294967295,\"method\":\"m\\\"1\",\"msg\":\"成功\\\\\"}", response.Encode());
}

}  // namespace
