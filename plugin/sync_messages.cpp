// The JSON bodies of the two sync reports and the decoding of the server's answer.
#include "sync_messages.h"

#include <json/reader.h>

#include <utility>

#include "json_text.h"  // WriteJsonText, AnsiToUtf8

namespace {

const char kSocketCode[] = "92990100000000000X";
const char kSocketPort[] = "28443";
const char kSocketName[] = "Kovatrust";
const char kSocketNameSimpl[] = "KOVA";

// Writes {"data":{<fields>},"method":<method>} compactly and converts it from the ANSI code page
// to UTF-8. Members come out in key order, so "data" precedes "method".
std::string EncodeBody(const std::string& method,
                       std::initializer_list<std::pair<const char*, const std::string*>> fields) {
  Json::Value root(Json::objectValue);
  Json::Value data(Json::objectValue);
  root["method"] = method;
  for (const auto& f : fields) data[f.first] = *f.second;
  root["data"] = data;
  return AnsiToUtf8(WriteJsonText(root));
}

bool DecodeAnswer(const std::string& answer, const char* expectedMethod, SyncRes& res) {
  if (answer.empty()) return false;
  Json::Reader reader;
  Json::Value root;
  if (!reader.parse(answer, root)) return false;
  if (!IsMemberOfType(root, "method", Json::stringValue)) return false;
  res.method = root["method"].asString();
  if (res.method != expectedMethod) return false;
  if (!IsMemberOfType(root, "data", Json::booleanValue)) return false;
  res.result_ = root["data"].asBool();
  return true;
}

}  // namespace

bool IsMemberOfType(const Json::Value& root, const char* key, Json::ValueType type) {
  const Json::Value* member = root.find(key, key + std::char_traits<char>::length(key));
  return member != nullptr && member->type() == type;
}

SyncSocketStateReq::SyncSocketStateReq(const std::string& stamp)
    : method("SyncSocketState"), socketCode(kSocketCode), socketPort(kSocketPort),
      timeStamp(stamp) {}

std::string SyncSocketStateReq::Encode() const {
  return EncodeBody(method, {{"socketCode", &socketCode},
                             {"socketPort", &socketPort},
                             {"timeStamp", &timeStamp}});
}

bool SyncSocketStateReq::Decode(const std::string& answer, SyncRes& res) {
  return DecodeAnswer(answer, "SyncSocketState", res);
}

SyncRegisterInfoReq::SyncRegisterInfoReq(const std::string& stamp)
    : method("SyncRegisterInfo"), socketName(kSocketName), socketCode(kSocketCode),
      socketNameSimpl(kSocketNameSimpl), socketPort(kSocketPort), timeStamp(stamp) {}

std::string SyncRegisterInfoReq::Encode() const {
  return EncodeBody(method, {{"socketName", &socketName},
                             {"socketCode", &socketCode},
                             {"socketNameSimpl", &socketNameSimpl},
                             {"socketPort", &socketPort},
                             {"timeStamp", &timeStamp}});
}

bool SyncRegisterInfoReq::Decode(const std::string& answer, SyncRes& res) {
  return DecodeAnswer(answer, "SyncRegisterInfo", res);
}
