// The middleware link, as far as this package needs it: one remote-call entry that callers use
// whatever carries the call, and the server-side functions that answer the framework's calls.
//
// Local call mode ("_R_Call_Local_Mode" = 1, the default; a shared integer in the registry) runs the
// named function of the "Mid_Process" table in the calling thread. A network transport would go
// under R_Call for mode 0 without changing its callers; until there is one, mode 0 answers an error.
#pragma once

class TParaMgr;

// Runs the call name with the pack: arguments in, results out. 0 on success; otherwise the calling
// thread's error code (nonzero), also written into the pack as "_r_ec_"/"_r_em_" (on success
// "_r_ec_" = 0), as call-by-name does. wait: the caller waits for the reply (local calls always do).
// Before the call the host's "Rcall_Prepare_Handle", when registered, gets the pack (to add its
// session values); a 0 from it stops the call with error -1.
int R_Call(const char* name, TParaMgr* para, int wait = 1);

// The host's TLS proxies ("Ssl_Proxy_Client_Ptr", "Ssl_Proxy_Server_Ptr"), looked up as host
// functions are (kept once found, looked up again while missing); null when the host has none. A
// remote transport would carry calls through them; in local call mode they only show in messages.
void* Link_Ssl_Proxy_Client();
void* Link_Ssl_Proxy_Server();

// The shared mode flag "_R_Call_Local_Mode" (created as 1).
int* R_Call_Local_Mode();

// Defines the server-side functions on "Mid_Process" ("tfa_key_set_create") and registers R_Call in
// the shared registry for the layers below (core/data/key_set.h). For the start-up; repeat calls do
// no harm. Returns 1.
int Link_Register();

// Server side of "tfa_key_set_create": reads the key list "key_dbio" (a packed data set, field 0 the
// key), numbers a new set from the sequence "app_tmp_key_set" of app_sequence, stores one row
// (set_id, key_id) per key in app_tmp_key_set, and answers "set_id". The keys are stored on the
// calling thread's session and the commit is left to the caller, so in local call mode the set joins
// the caller's transaction. The tables (created when missing) and the number are made on a session of
// their own and committed at once on a server database, so that no client waits for another's
// commit to make a set; a file database does all on the caller's session. 1, or 0 with the thread
// error set.
int Tfa_Key_Set_Create(TParaMgr* para);
