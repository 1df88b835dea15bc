// The command line of zem_app_server (see Server_Usage for the text an administrator reads).
#pragma once
#include <string>
#include <vector>

struct Server_Options {
  std::string listen;                 // ADDR:PORT (port 0: any free port, told at start)
  std::string db;                     // a PostgreSQL connection string, or a SQLite file
  std::string cert, key;              // the server's certificate chain and key (PEM)
  std::string client_ca;              // clients must show a certificate signed by this authority
  std::string tokens;                 // the token file (apps/app_server/token_file.h)
  bool insecure = false;              // plain text, loopback only
  std::vector<std::string> modules;   // host libraries with server functions
  std::vector<std::string> serve;     // further call names to serve
  int threads = 8;                    // workers running calls
  int max_calls_per_client = 16;      // calls one connection may have in flight at once
  int max_message = 64 * 1024 * 1024; // bytes, either way
  int drain_seconds = 30;             // SIGTERM: how long calls in flight may finish
  int summary_seconds = 60;           // the period of the summary line
  int file_mode_size = 16 * 1024 * 1024;  // a dictionary's packed rows above this travel compressed
  std::string log;                    // the log file; empty: standard output
  bool trace = false;                 // a log line before and after every call

  // Whether db names a PostgreSQL server (else a SQLite file): "postgres://", "postgresql://", a
  // "pg:" prefix or a key=value text; "sqlite:" forces a file.
  bool Db_Is_Pg() const;
  // db without its "pg:" or "sqlite:" prefix.
  std::string Db_Text() const;
};

// Reads the command line. 1, or 0 with *error saying what is wrong (the usage follows it).
int Parse_Server_Options(int argc, const char* const* argv, Server_Options* out, std::string* error);
const char* Server_Usage();
