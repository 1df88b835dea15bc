// The demo's own host functions: the ones that need its database (the defaults come from zem_host).
#pragma once

class DemoDb;

// Registers "pdu_code_select" and "pdu_code_key_search" over db (not owned; must outlive their use).
// Returns how many were registered.
int Demo_Register_Host_Functions(DemoDb* db);
