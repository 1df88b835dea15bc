// Arbitrary bytes as a call reaching zem_app_server: read as the wire's CallRequest, then decoded as the
// server decodes it (its name checked, its pack read with every length against the bytes that came).
// A refusal must say why; a call that decodes must answer a reply whose pack reads back whole. The same
// bytes are read as the first message of a batch too: checked as a whole, then each call as above.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "apps/app_server/call_codec.h"
#include "core/data/para.h"
#include "frame/log_mgr.h"

namespace {

void One_Call(const zem::link::CallRequest& req) {
  TParaMgr pack;
  std::string error;
  if (!Decode_Call(req, &pack, &error)) {
    if (error.empty()) std::abort();  // every refusal tells the client why
    return;
  }
  zem::link::CallReply reply;
  if (!Encode_Reply(&pack, 0, "", 64 * 1024 * 1024, &reply, &error)) return;
  TParaMgr back;
  if (back.Unpack_Para(reply.pack().data(), reply.pack().size()) != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return Log_Mgr()->Set_File("/dev/null") == 1; }();
  (void)quiet;
  zem::link::CallRequest req;
  if (req.ParseFromArray(data, static_cast<int>(size))) One_Call(req);
  zem::link::CallBatchRequest batch;
  if (!batch.ParseFromArray(data, static_cast<int>(size))) return 0;
  std::string error;
  if (!Check_Batch(batch, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (batch.calls_size() + batch.cancel_size() < 1 || batch.calls_size() > kBatch_Max_Calls || batch.first() < 0)
    std::abort();
  for (int i : batch.cancel())
    if (i < 0) std::abort();
  for (const zem::link::BatchCall& c : batch.calls()) {
    if (c.timeout_ms() < 0) std::abort();
    One_Call(c.call());
  }
  return 0;
}
