// CallResponse::Encode: the JSON form of the plug-in's own answer.
#include "call_response.h"

#include <json/value.h>

#include "json_text.h"

std::string CallResponse::Encode() const {
  Json::Value root(Json::objectValue);
  root["method"] = method;
  root["code"] = Json::UInt(code);
  root["msg"] = msg;
  const std::string text = WriteJsonText(root);
  if (text.empty()) return text;
  return AnsiToUtf8(text);
}
