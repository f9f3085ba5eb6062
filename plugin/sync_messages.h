// The JSON bodies of the two sync reports and the decoding of the server's answer.
#pragma once

#include <json/value.h>

#include <string>

// The decoded answer: the "method" it names and its boolean "data" (the server's verdict).
struct SyncRes {
  std::string method;
  bool result_ = false;  // meaningful only after Decode has returned true
};

// True when `root` has a member `key` whose JSON type is exactly `type`; the key is looked up
// without being added. A root that is neither an object nor null raises the JSON library's
// logic error (Json::LogicError).
bool IsMemberOfType(const Json::Value& root, const char* key, Json::ValueType type);

// The socket-state report.
struct SyncSocketStateReq {
  explicit SyncSocketStateReq(const std::string& stamp = std::string());

  std::string method;
  std::string socketCode;
  std::string socketPort;
  std::string timeStamp;

  // The body in UTF-8: {"data":{...},"method":"SyncSocketState"}, compact, no line feed.
  std::string Encode() const;
  // Judges an answer that must name "SyncSocketState". False when it is empty, not JSON, or
  // lacks a string "method" equal to that name or a boolean "data". Exceptions of the JSON
  // library (a root that is not an object, nesting past its limit) reach the caller.
  static bool Decode(const std::string& answer, SyncRes& res);
};

// The registration report.
struct SyncRegisterInfoReq {
  explicit SyncRegisterInfoReq(const std::string& stamp = std::string());

  std::string method;
  std::string socketName;
  std::string socketCode;
  std::string socketNameSimpl;
  std::string socketPort;
  std::string timeStamp;

  std::string Encode() const;
  // As SyncSocketStateReq::Decode, for the method "SyncRegisterInfo".
  static bool Decode(const std::string& answer, SyncRes& res);
};
