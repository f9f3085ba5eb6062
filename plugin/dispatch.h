// Request dispatch: one WebSocket request in, one response text out.
#pragma once

#include <string>

// The plug-in's error object {"code":60000,"method":"","msg":"异常错误"} in UTF-8, for the rare
// case where not even that can be built (memory exhausted).
extern const char kExceptionAnswerUtf8[];

// Hands the request (up to its first NUL), with the client's process id and executable path
// (never null, empty when unknown), to WS_DoCommand and sets response to the library's answer
// unchanged: result 0. When there is no answer, the library is not bound or anything throws,
// response is the error object for CODE_EXCEPTION and the result is CODE_EXCEPTION. response
// is left empty only if even the error object cannot be built. Never throws.
int do_call_ax(const std::string& request, int pid, const std::string& path,
               std::string& response) noexcept;
