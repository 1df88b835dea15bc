// The middleware link, as far as this package needs it: one remote-call entry that callers use
// whatever carries the call, and the server-side functions that answer the framework's calls.
//
// Local call mode ("_R_Call_Local_Mode" = 1, the default; a shared integer in the registry) runs the
// named function of the "Mid_Process" table in the calling thread. Remote mode (any other value) sends
// the call to the application server (apps/zem_app_server) through the transport library
// zem_link_grpc.so, loaded from the library folder on the first remote call; a host in local call mode
// never loads it. The server is named by public parameters, read at every call:
//
//   "app_server"          where the server listens: "host:port", "dns:///name:port" (calls go round
//                         robin over every address the name resolves to) or "ipv4:a:port,b:port"
//   "app_server_ca"       PEM file of the certificate authority that signed the server's certificate
//                         (none: the system's authorities)
//   "app_server_token"    the token every call carries; the server checks it against its token file
//   "app_server_cert", "app_server_key"  the client's own certificate, for a server that asks for one
//   "app_server_tls_name" the name in the server's certificate, when "app_server" does not carry it
//   "app_server_insecure" 1: plain text, accepted for loopback addresses only (default 0: TLS)
//   "app_server_max_message"  the largest call or reply in bytes (default 64 MiB)
//
// Every process keeps one channel per server (shared by all its threads and calls). A remote call
// waits at most "db_statement_timeout" seconds (the database calls' bound; 0: no bound) and shows its
// wait as a statement does (frame/wait.h): every 25 ms the host's wait box handles what is pending on
// its user-interface thread, appears after 500 ms ("正在等待应用服务器…", the call and the server) and
// takes the user's 取消, which cancels the call.
#pragma once

#include <string>

class TParaMgr;

// Codes of remote calls that did not reach their function or its answer, beside the functions' own:
enum {
  R_CALL_UNREACHABLE = 999,  // the application server cannot be reached, or the connection was lost
  R_CALL_TIMEOUT = 57014,    // no answer within the deadline, or the wait was cancelled
};
// Whether a call's code means that the server could not be asked or did not answer (as opposed to an
// answer that is an error): a caller holding a local copy may serve it meanwhile.
inline bool R_Call_Server_Away(int code) { return code == R_CALL_UNREACHABLE || code == R_CALL_TIMEOUT; }

// Runs the call name with the pack: arguments in, results out. 0 on success; otherwise the calling
// thread's error code (nonzero), also written into the pack as "_r_ec_"/"_r_em_" (on success
// "_r_ec_" = 0), as call-by-name does. wait: the caller waits for the reply (local calls always do;
// a remote call without it returns once the server has taken it, the pack unchanged). Before the
// call the host's "Rcall_Prepare_Handle", when registered, gets the pack (to add its session values);
// a 0 from it stops the call with error -1. After a remote call the pack holds what the server's
// function left in it (every value as text, as unpacked packs hold them).
int R_Call(const char* name, TParaMgr* para, int wait = 1);

// The user's sentence (Chinese, as the package's captions) for the calling thread's last R_Call when
// it failed on its way to or from the application server: unreachable, no answer in time, the user's
// 取消, refused, or the client's settings unusable; it says what became of the call. Empty after a
// success and when the called function itself failed: its own error then, which the caller words
// (for a database function, core/data/db_errors.h).
const char16_t* R_Call_User_Msg();

// The host's TLS proxies ("Ssl_Proxy_Client_Ptr", "Ssl_Proxy_Server_Ptr"), looked up as host
// functions are (kept once found, looked up again while missing); null when the host has none. The
// gRPC transport does its own TLS, so they only show in messages.
void* Link_Ssl_Proxy_Client();
void* Link_Ssl_Proxy_Server();

// The shared mode flag "_R_Call_Local_Mode" (created as 1).
int* R_Call_Local_Mode();

// Defines the server-side functions on "Mid_Process" ("tfa_key_set_create") and registers R_Call in
// the shared registry for the layers below (core/data/key_set.h). For the start-up; repeat calls do
// no harm. Returns 1.
int Link_Register();

// ---- change notices of the application server's database (remote mode)
// event: LINK_WATCH_UP (the stream stands; changes may have been missed before), LINK_WATCH_NOTICE
// (channel, and the changed id as payload: "" means anything may have changed) or LINK_WATCH_DOWN
// (payload: why); see core/data/link_transport.h. Called on the transport's thread.
typedef void (*R_Call_Notice_Fn)(int event, const char* channel, const char* payload);
// Starts following the server named by "app_server": a stream the transport keeps open (and opens
// again after the server was away) until R_Call_Watch_Stop. 1 when following (also when it already
// was); 0 when the transport or the server's address is missing (logged).
int R_Call_Watch_Start(R_Call_Notice_Fn fn);
void R_Call_Watch_Stop();

// Server side of "tfa_key_set_create": reads the key list "key_dbio" (a packed data set, field 0 the
// key), numbers a new set from the sequence "app_tmp_key_set" of app_sequence, stores one row
// (set_id, key_id) per key in app_tmp_key_set, and answers "set_id". The keys are stored on the
// calling thread's session and the commit is left to the caller, so in local call mode the set joins
// the caller's transaction. The tables (created when missing) and the number are made on a session of
// their own and committed at once on a server database, so that no client waits for another's
// commit to make a set; a file database does all on the caller's session. 1, or 0 with the thread
// error set.
int Tfa_Key_Set_Create(TParaMgr* para);

// ---- internal: the remote half of R_Call (link_remote.cpp). Sends the call; sets the thread error and,
// for a failure on the way, *user_msg.
int R_Call_Remote(const char* name, TParaMgr* pack, int wait, std::u16string* user_msg);
