// Reading calls and writing replies.
#include "apps/app_server/call_codec.h"

#include <cstdint>

#include "core/data/para.h"

int Decode_Call(const zem::link::CallRequest& req, TParaMgr* pack, std::string* error) {
  const std::string& name = req.name();
  if (name.empty() || name.size() > 255) {
    *error = name.empty() ? "a call without a name" : "a call name longer than 255 characters";
    return 0;
  }
  for (unsigned char c : name) {
    if (c <= 0x20 || c >= 0x7f) {
      *error = "the call's name holds a character that no call name has";
      return 0;
    }
  }
  const std::string& bytes = req.pack();
  if (bytes.empty()) return 1;  // no parameters
  if (!pack->Unpack_Para(bytes.data(), bytes.size())) {
    *error = "the parameters of " + name + " are not a parameter pack";
    return 0;
  }
  return 1;
}

int Check_Batch(const zem::link::CallBatchRequest& req, std::string* error) {
  if (req.calls_size() == 0 && req.cancel_size() == 0) {
    *error = "a batch message without calls or cancels";
    return 0;
  }
  if (req.calls_size() > kBatch_Max_Calls) {
    *error = "a batch of " + std::to_string(req.calls_size()) + " calls, over the " +
             std::to_string(kBatch_Max_Calls) + " one batch may carry";
    return 0;
  }
  if (req.first() < 0 || req.calls_size() > INT32_MAX - req.first()) {
    *error = "a batch whose calls' indexes are negative or overflow";
    return 0;
  }
  for (int i : req.cancel())
    if (i < 0) {
      *error = "a batch message that cancels a negative index";
      return 0;
    }
  for (const zem::link::BatchCall& c : req.calls())
    if (c.timeout_ms() < 0) {
      *error = "a call of the batch with a negative timeout";
      return 0;
    }
  return 1;
}

int Encode_Reply(TParaMgr* pack, int result, const std::string& message, int max_message,
                 zem::link::CallReply* reply, std::string* error) {
  // Packed straight into the reply's bytes: one pass over the values (a dictionary's rows are
  // megabytes), no buffer between.
  std::string* bytes = reply->mutable_pack();
  bytes->clear();
  const int len = pack->Pack_Para_Into(bytes);
  if (!len) {
    *error = "the reply's parameters do not pack";
    return 0;
  }
  // The reply's frame adds a few bytes to the pack.
  if (static_cast<long long>(len) + 1024 + static_cast<long long>(message.size()) > max_message) {
    reply->clear_pack();
    *error = "the reply takes " + std::to_string(len) + " bytes, over the server's " + std::to_string(max_message) +
             "-byte message limit";
    return 0;
  }
  reply->set_result(result);
  reply->set_message(message);
  return 1;
}
