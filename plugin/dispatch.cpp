// do_call_ax: asks the client utility library for the response to one request, or answers by
// itself with the error object for code 60000.
#include "dispatch.h"

#include "call_response.h"
#include "clog.h"
#include "nolvex_binding.h"
#include "result_codes.h"

const char kExceptionAnswerUtf8[] =
    "{\"code\":60000,\"method\":\"\",\"msg\":\"\xe5\xbc\x82\xe5\xb8\xb8\xe9\x94\x99\xe8\xaf\xaf\"}";

namespace {

std::string ExceptionResponse() {
  CallResponse error;
  error.code = CODE_EXCEPTION;
  error.msg = GetResultMessage(CODE_EXCEPTION);
  error.method = "";
  return error.Encode();
}

}  // namespace

int do_call_ax(const std::string& request, int pid, const std::string& path,
               std::string& response) noexcept {
  CLOG_T("do_call_ax ...");
  try {
    response.clear();
    {
      CNolvexUse use;  // the library stays bound until its buffer is given back
      if (!g_pfWS_DoCommand) {
        CLOG_E("g_pfWS_DoCommand NULL.");
      } else {
        CNolvexText answer;
        g_pfWS_DoCommand(pid, path.c_str(), request.c_str(), answer.receive());
        if (answer.get()) response.assign(answer.get());
      }
    }
    if (!response.empty()) return 0;
    response = ExceptionResponse();
    return CODE_EXCEPTION;
  } catch (...) {
    CLOG_E("do_call_ax,receive a fatal error!!! \r\n");
    try {
      response = ExceptionResponse();
    } catch (...) {
      response.clear();
    }
    return CODE_EXCEPTION;
  }
}
