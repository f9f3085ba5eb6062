// CallResponse: the answer the plug-in builds itself for a WebSocket client.
#pragma once

#include <string>

struct CallResponse {
  unsigned int code = 0;
  std::string msg;     // in the ANSI code page
  std::string method;  // always empty in the answers built here

  // {"code":<code>,"method":"<method>","msg":"<msg>"} in UTF-8, without a line feed; empty if
  // the conversion to UTF-8 fails. May throw std::bad_alloc.
  std::string Encode() const;
};
