// zem_app_server's command line.
#include "apps/app_server/server_options.h"

#include <cstdlib>
#include <cstring>

#include "transport/link_address.h"

namespace {

bool Starts(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

// A whole positive number within [lo, hi]; false otherwise.
bool Number(const std::string& text, long lo, long hi, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

bool Server_Options::Db_Is_Pg() const {
  if (Starts(db, "sqlite:")) return false;
  return Starts(db, "pg:") || Starts(db, "postgres://") || Starts(db, "postgresql://") ||
         db.find('=') != std::string::npos;
}

std::string Server_Options::Db_Text() const {
  if (Starts(db, "sqlite:")) return db.substr(7);
  if (Starts(db, "pg:")) return db.substr(3);
  return db;
}

const char* Server_Usage() {
  return "usage: zem_app_server --listen ADDR:PORT --db CONNINFO --cert FILE --key FILE --tokens FILE [options]\n"
         "       zem_app_server --listen 127.0.0.1:PORT --db CONNINFO --insecure --tokens FILE [options]\n"
         "  --listen ADDR:PORT        where clients connect (port 0: a free one, told at start)\n"
         "  --db CONNINFO             a PostgreSQL connection string (host=... dbname=..., postgresql://...)\n"
         "                            or a SQLite file (\"sqlite:\" and \"pg:\" force either)\n"
         "  --cert FILE, --key FILE   the server's certificate chain and private key (PEM)\n"
         "  --tokens FILE             the tokens clients' calls carry: \"[label] token\" per line\n"
         "  --insecure                plain text instead of TLS, on a loopback address only\n"
         "  --client-ca FILE          clients must show a certificate this authority signed\n"
         "  --module LIB              load a host's server functions (its Zem_App_Server_Init)\n"
         "  --serve NAME              serve this further call name\n"
         "  --threads N               calls run at once (default 8)\n"
         "  --max-calls-per-client N  calls one client connection may have in flight (default 16)\n"
         "  --max-message BYTES       the largest call or reply (default 67108864)\n"
         "  --drain-seconds N         on SIGTERM, how long calls in flight may finish (default 30)\n"
         "  --summary-seconds N       the period of the summary line (default 60)\n"
         "  --file-mode-size BYTES    dictionaries whose rows pack larger travel compressed (default 16777216)\n"
         "  --log FILE                the log file (default: standard output)\n"
         "  --trace                   a log line before and after every call\n"
         "SIGTERM drains and stops; SIGHUP reads the token file again.\n";
}

int Parse_Server_Options(int argc, const char* const* argv, Server_Options* out, std::string* error) {
  Server_Options o;
  struct Text_Opt { const char* name; std::string* to; };
  const Text_Opt texts[] = {{"--listen", &o.listen}, {"--db", &o.db},           {"--cert", &o.cert},
                            {"--key", &o.key},       {"--tokens", &o.tokens},   {"--client-ca", &o.client_ca},
                            {"--log", &o.log}};
  struct Int_Opt { const char* name; int* to; long lo, hi; };
  const Int_Opt ints[] = {{"--threads", &o.threads, 1, 1024},
                          {"--max-calls-per-client", &o.max_calls_per_client, 1, 100000},
                          {"--max-message", &o.max_message, 1024, 1L << 30},
                          {"--drain-seconds", &o.drain_seconds, 0, 3600},
                          {"--summary-seconds", &o.summary_seconds, 1, 86400},
                          {"--file-mode-size", &o.file_mode_size, 0, 1L << 30}};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--insecure") {
      o.insecure = true;
      continue;
    }
    if (a == "--trace") {
      o.trace = true;
      continue;
    }
    if (i + 1 >= argc) {
      *error = a.compare(0, 2, "--") == 0 ? a + " needs a value" : "unknown argument " + a;
      return 0;
    }
    const std::string v = argv[i + 1];
    bool known = false;
    for (const Text_Opt& t : texts)
      if (a == t.name) {
        *t.to = v;
        known = true;
      }
    for (const Int_Opt& n : ints)
      if (a == n.name) {
        if (!Number(v, n.lo, n.hi, n.to)) {
          *error = a + " takes a number from " + std::to_string(n.lo) + " to " + std::to_string(n.hi) + ", not " + v;
          return 0;
        }
        known = true;
      }
    if (a == "--module") {
      o.modules.push_back(v);
      known = true;
    } else if (a == "--serve") {
      o.serve.push_back(v);
      known = true;
    }
    if (!known) {
      *error = "unknown argument " + a;
      return 0;
    }
    ++i;
  }
  if (o.listen.empty() || zem_link::Address_Hosts(o.listen).size() != 1 || o.listen.rfind(':') == std::string::npos) {
    *error = o.listen.empty() ? "--listen ADDR:PORT is missing" : "--listen takes one ADDR:PORT, not " + o.listen;
    return 0;
  }
  if (o.db.empty()) {
    *error = "--db is missing";
    return 0;
  }
  if (o.tokens.empty()) {
    *error = "--tokens is missing: every call must carry a token";
    return 0;
  }
  if (o.insecure) {
    if (!zem_link::Loopback_Address(o.listen)) {
      *error = "--insecure listens on a loopback address only (127.0.0.1, ::1, localhost), not " + o.listen;
      return 0;
    }
    if (!o.cert.empty() || !o.client_ca.empty()) {
      *error = "--insecure takes no certificates";
      return 0;
    }
  } else if (o.cert.empty() || o.key.empty()) {
    *error = "--cert and --key are needed (TLS), or --insecure on a loopback address";
    return 0;
  }
  *out = o;
  return 1;
}
