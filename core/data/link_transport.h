// The interface of a remote-call transport library: what the middleware link (link/r_call.h) calls
// when R_Call runs in remote mode. The library (zem_link_grpc.so, built from transport/) is loaded at
// run time by file name through T_Dll, as the database drivers are, so that the package itself has
// no network dependency: a host in local call mode never loads it. It lies here, below both link/ and
// transport/, as the driver interface lies below drivers/.
//
// The library knows nothing of parameter packs: a call is a name, the pack's packed bytes and the
// wait flag; the reply is the call's result, its text and the packed pack afterwards.
//
// Entry points (C linkage; looked up as "_Name" first, then "Name", like the drivers'):
//
//   entry                    arguments                      result
//   _Link_Open_Handle        target, error, error_len       a channel (shared by every caller that
//                                                           opens an equal target), or null with the
//                                                           reason in error
//   _Link_Call_Handle        channel, call, reply           reply->status (LINK_*)
//   _Link_Reply_Free_Handle  reply                          frees what a call left in reply
//   _Link_Watch_Handle       channel, token, fn, arg        a watch: a thread of the library that keeps
//                                                           a notice stream open and calls fn for each
//                                                           event (below); null when it cannot start
//   _Link_Watch_Stop_Handle  watch                          ends the stream and joins the thread; fn is
//                                                           not called afterwards
//
// Channels live as long as the process. Waiting: the calling thread waits in slices of call->slice_ms
// and calls call->hook between them (the elapsed milliseconds); a hook that answers 0 cancels the call,
// which then returns LINK_CANCELLED at once.
#pragma once

extern "C" {

// What became of a call.
enum {
  LINK_OK = 0,           // the server ran the call: reply->result and the pack are its outcome
  LINK_UNREACHABLE = 1,  // no connection to the server, or it was lost during the call
  LINK_TIMEOUT = 2,      // no answer before the call's deadline
  LINK_CANCELLED = 3,    // the wait hook cancelled the call
  LINK_REFUSED = 4,      // the server refused the call: its token, its name, its size, the server stopping
  LINK_FAILED = 5,       // anything else (a bad option, a reply that does not read)
};

// The events of a watch.
enum {
  LINK_WATCH_UP = 1,      // the stream is open: notices from now on arrive (earlier ones may be missed)
  LINK_WATCH_NOTICE = 2,  // a change: the channel, and the changed id as payload ("": anything)
  LINK_WATCH_DOWN = 3,    // the stream ended (payload: why); the watch opens it again when it can
};

// How to reach a server. Texts are UTF-8; empty or null for none.
struct Link_Target {
  const char* address;    // "host:port", "dns:///name:port" (every address the name resolves to),
                          // "ipv4:a.b.c.d:port,e.f.g.h:port": calls go round robin over the addresses
  const char* ca_file;    // PEM certificates that may sign the server's; none: the system's
  const char* cert_file;  // the client's own certificate chain and key (PEM), when the server asks
  const char* key_file;
  const char* tls_name;   // the name the server's certificate carries, when the address does not
  int insecure;           // 1: plain text, for loopback addresses only (anything else is refused)
  int max_message;        // the largest message either way, bytes (0: 64 MiB)
  int instance;           // equal targets share one channel; another instance number gets its own
};

typedef int (*Link_Wait_Fn)(void* arg, int elapsed_ms);

struct Link_Call {
  const char* name;
  const void* pack;
  int pack_len;
  int wait;            // 0: the server answers once it has taken the call
  const char* token;   // sent with the call; the server checks it against its token file
  int deadline_ms;     // from the start of the call; 0 or less: none
  int slice_ms;        // how often hook is called while the reply is awaited (0: 50)
  Link_Wait_Fn hook;   // null: wait until the reply or the deadline
  void* hook_arg;
};

struct Link_Reply {
  int status;          // LINK_*
  int result;          // LINK_OK: the call's error code (0 success)
  char message[1024];  // LINK_OK: the call's error text; otherwise what went wrong
  const void* pack;    // LINK_OK: the packed pack afterwards, until _Link_Reply_Free_Handle
  int pack_len;
  void* owner;         // the library's
};

typedef void (*Link_Watch_Fn)(void* arg, int event, const char* channel, const char* payload);

typedef void* (*Link_Open_Fn)(const Link_Target* target, char* error, int error_len);
typedef int (*Link_Call_Fn)(void* channel, const Link_Call* call, Link_Reply* reply);
typedef void (*Link_Reply_Free_Fn)(Link_Reply* reply);
typedef void* (*Link_Watch_Start_Fn)(void* channel, const char* token, Link_Watch_Fn fn, void* arg);
typedef void (*Link_Watch_Stop_Fn)(void* watch);
}

// The largest message either way unless configured: 64 MiB.
inline constexpr int kLink_Default_Max_Message = 64 * 1024 * 1024;
