// Arbitrary bytes as a call reaching zem_app_server: read as the wire's CallRequest, then decoded as the
// server decodes it (its name checked, its pack read with every length against the bytes that came).
// A refusal must say why; a call that decodes must answer a reply whose pack reads back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "apps/app_server/call_codec.h"
#include "core/data/para.h"
#include "frame/log_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return Log_Mgr()->Set_File("/dev/null") == 1; }();
  (void)quiet;
  zem::link::CallRequest req;
  if (!req.ParseFromArray(data, static_cast<int>(size))) return 0;
  TParaMgr pack;
  std::string error;
  if (!Decode_Call(req, &pack, &error)) {
    if (error.empty()) std::abort();  // every refusal tells the client why
    return 0;
  }
  zem::link::CallReply reply;
  if (!Encode_Reply(&pack, 0, "", 64 * 1024 * 1024, &reply, &error)) return 0;
  TParaMgr back;
  if (back.Unpack_Para(reply.pack().data(), reply.pack().size()) != 1) std::abort();
  return 0;
}
