// The two request bodies byte for byte, and the judging of the server's answers.
#include <gtest/gtest.h>
#include <json/value.h>

#include <stdexcept>
#include <string>

#include "sync_messages.h"

namespace {

TEST(SyncSocketStateReq, EncodesThe117ByteBody) {
  const std::string body = SyncSocketStateReq("1700000000").Encode();
  EXPECT_EQ(
      "{\"data\":{\"socketCode\":\"92990100000000000X\",\"socketPort\":\"28443\","
      "\"timeStamp\":\"1700000000\"},\"method\":\"SyncSocketState\"}",
      body);
  EXPECT_EQ(117u, body.size());
}

TEST(SyncRegisterInfoReq, EncodesTheRegistrationBody) {
  EXPECT_EQ(
      "{\"data\":{\"socketCode\":\"92990100000000000X\",\"socketName\":\"Kovatrust\","
      "\"socketNameSimpl\":\"KOVA\",\"socketPort\":\"28443\",\"timeStamp\":\"1700000000\"},"
      "\"method\":\"SyncRegisterInfo\"}",
      SyncRegisterInfoReq("1700000000").Encode());
}

TEST(SyncRegisterInfoReq, FieldsHoldTheirValues) {
  const SyncRegisterInfoReq req("1234567890");
  EXPECT_EQ("SyncRegisterInfo", req.method);
  EXPECT_EQ("Kovatrust", req.socketName);
  EXPECT_EQ("92990100000000000X", req.socketCode);
  EXPECT_EQ("KOVA", req.socketNameSimpl);
  EXPECT_EQ("28443", req.socketPort);
  EXPECT_EQ("1234567890", req.timeStamp);
}

TEST(SyncMessages, BodiesAreCompactWithDataFirst) {
  for (const std::string& body :
       {SyncSocketStateReq("1700000000").Encode(), SyncRegisterInfoReq("1700000000").Encode()}) {
    EXPECT_EQ(std::string::npos, body.find_first_of(" \t\r\n")) << body;
    EXPECT_EQ(0u, body.find("{\"data\":{")) << body;
  }
}

TEST(SyncMessages, AnsiTextsLeaveAsUtf8) {
  // A field in the ANSI code page (GBK here) is written raw, then the body is converted.
  SyncRegisterInfoReq req("1700000000");
  req.socketName = "\xD2\xEC\xB3\xA3";  // two GBK characters
  const std::string body = req.Encode();
  EXPECT_NE(std::string::npos, body.find("\"socketName\":\"\xE5\xBC\x82\xE5\xB8\xB8\""))
      << body;
}

TEST(SyncMessages, BodyCarriesTheTimestampItWasGiven) {
  // Members set in any order come out sorted by key; the stamp is written as given.
  SyncSocketStateReq req("9999999999");
  EXPECT_EQ(
      "{\"data\":{\"socketCode\":\"92990100000000000X\",\"socketPort\":\"28443\","
      "\"timeStamp\":\"9999999999\"},\"method\":\"SyncSocketState\"}",
      req.Encode());
  req.timeStamp = "12345678901";
  EXPECT_EQ(118u, req.Encode().size());
}

enum class Expect { kTrue, kFalse, kDecodeFails, kThrows };

struct DecodeCase {
  const char* name;
  bool registration;  // which Decode: the registration one, or the socket-state one
  std::string answer;
  Expect expect;
};

std::string Nested(int depth) {
  return std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']');
}

const DecodeCase kDecodeCases[] = {
    {"socket state accepted", false, R"({"method":"SyncSocketState","data":true})", Expect::kTrue},
    {"socket state refused", false, R"({"method":"SyncSocketState","data":false})",
     Expect::kFalse},
    {"registration accepted", true, R"({"method":"SyncRegisterInfo","data":true})", Expect::kTrue},
    {"registration refused", true, R"({"data":false,"method":"SyncRegisterInfo"})",
     Expect::kFalse},
    {"answer of the other request", true, R"({"method":"SyncSocketState","data":true})",
     Expect::kDecodeFails},
    {"method differing in case", false, R"({"method":"syncSocketState","data":true})",
     Expect::kDecodeFails},
    {"method with a trailing blank", false, R"({"method":"SyncSocketState ","data":true})",
     Expect::kDecodeFails},
    {"method not a string", false, R"({"method":1,"data":true})", Expect::kDecodeFails},
    {"method missing", false, R"({"data":true})", Expect::kDecodeFails},
    {"data as the number 1", false, R"({"method":"SyncSocketState","data":1})",
     Expect::kDecodeFails},
    {"data as the text true", false, R"({"method":"SyncSocketState","data":"true"})",
     Expect::kDecodeFails},
    {"data null", false, R"({"method":"SyncSocketState","data":null})", Expect::kDecodeFails},
    {"data missing", false, R"({"method":"SyncSocketState"})", Expect::kDecodeFails},
    {"empty answer", false, "", Expect::kDecodeFails},
    {"not JSON", false, "<html>", Expect::kDecodeFails},
    {"truncated JSON", false, R"({"method":"SyncSocketState","data":tr)", Expect::kDecodeFails},
    {"null root", false, "null", Expect::kDecodeFails},
    {"comments and extra members", false,
     "/* server */ {\"code\":0, // ok\n \"method\":\"SyncSocketState\",\"msg\":\"x\","
     "\"data\":true,\"more\":{\"a\":[1,2]}}",
     Expect::kTrue},
    {"array root", false, R"([{"method":"SyncSocketState","data":true}])", Expect::kThrows},
    {"string root", true, R"("SyncRegisterInfo")", Expect::kThrows},
    {"number root", true, "42", Expect::kThrows},
    {"100,000 levels deep", false, Nested(100000), Expect::kThrows},
    {"within the nesting limit", false, Nested(500), Expect::kThrows},  // array root
};

TEST(SyncRes, DecodeJudgesEveryKindOfAnswer) {
  for (const DecodeCase& c : kDecodeCases) {
    SCOPED_TRACE(c.name);
    SyncRes res;
    res.result_ = c.expect == Expect::kFalse;  // the opposite of what a good decode leaves
    auto decode = [&] {
      return c.registration ? SyncRegisterInfoReq::Decode(c.answer, res)
                            : SyncSocketStateReq::Decode(c.answer, res);
    };
    switch (c.expect) {
      case Expect::kTrue:
      case Expect::kFalse:
        EXPECT_TRUE(decode());
        EXPECT_EQ(c.expect == Expect::kTrue, res.result_);
        EXPECT_EQ(c.registration ? "SyncRegisterInfo" : "SyncSocketState", res.method);
        break;
      case Expect::kDecodeFails:
        EXPECT_FALSE(decode());
        break;
      case Expect::kThrows:
        // The JSON library's own errors (a root that is not an object, nesting past its limit)
        // go to the caller's catch-all.
        EXPECT_THROW(decode(), std::exception);
        break;
    }
  }
}

TEST(SyncRes, DecodeCopiesTheMethodBeforeComparingIt) {
  SyncRes res;
  EXPECT_FALSE(SyncSocketStateReq::Decode(R"({"method":"SyncRegisterInfo","data":true})", res));
  EXPECT_EQ("SyncRegisterInfo", res.method);
}

TEST(IsMemberOfType, LooksUpWithoutAdding) {
  Json::Value root(Json::objectValue);
  root["s"] = "text";
  root["b"] = true;
  root["n"] = 5u;
  EXPECT_TRUE(IsMemberOfType(root, "s", Json::stringValue));
  EXPECT_TRUE(IsMemberOfType(root, "b", Json::booleanValue));
  EXPECT_TRUE(IsMemberOfType(root, "n", Json::uintValue));
  EXPECT_FALSE(IsMemberOfType(root, "n", Json::intValue));
  EXPECT_FALSE(IsMemberOfType(root, "s", Json::booleanValue));
  EXPECT_FALSE(IsMemberOfType(root, "missing", Json::nullValue));
  EXPECT_FALSE(root.isMember("missing"));
  EXPECT_EQ(3u, root.size());

  const Json::Value nullRoot;
  EXPECT_FALSE(IsMemberOfType(nullRoot, "s", Json::stringValue));
  EXPECT_THROW(IsMemberOfType(Json::Value(Json::arrayValue), "s", Json::stringValue),
               Json::LogicError);
}

}  // namespace
