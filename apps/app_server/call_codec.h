// How zem_app_server reads a call off the wire and writes its reply (transport/zem_link.proto).
//
// A call's name is 1 to 255 printable ASCII characters (the names of the "Mid_Process" table); its pack
// is the packed form of a parameter pack, read with every length checked against the bytes that came
// (TParaMgr::Unpack_Para with its size): a pack that does not read whole is refused, never half used.
// The reply carries the pack as the call left it, packed without compression; a reply larger than the
// message limit is replaced by an error that says so.
#pragma once
#include <string>

#include "transport/zem_link.pb.h"

class TParaMgr;

// Checks the name and unpacks the pack into *pack (empty before). 1, or 0 with *error: the text the
// client is told.
int Decode_Call(const zem::link::CallRequest& req, TParaMgr* pack, std::string* error);

// The most calls one message of a call stream may carry.
inline constexpr int kBatch_Max_Calls = 4096;

// Checks a message of a call stream: at most kBatch_Max_Calls calls, at least one call or cancel, no
// negative timeout or index, no index past what an int holds. Each call is then read as a call of its
// own (Decode_Call). 1, or 0 with *error.
int Check_Batch(const zem::link::CallBatchRequest& req, std::string* error);

// The reply of a call that ran: result and message (the thread's error), and the pack packed. 1, or 0
// with *error when the packed pack is over max_message bytes or does not pack (the reply is then left
// for the caller to fill with that error).
int Encode_Reply(TParaMgr* pack, int result, const std::string& message, int max_message,
                 zem::link::CallReply* reply, std::string* error);
