// Addresses of the middleware link, as the client's target and the server's --listen take them, and
// whether they stay on this machine: plain text (no TLS) is allowed on loopback addresses only.
//
// Forms: "host:port", "[v6]:port", "dns:///host:port" (also "dns:host:port"), and the lists
// "ipv4:a:port,b:port" and "ipv6:[a]:port,[b]:port". A loopback host is "localhost", an IPv4
// address 127.x.x.x or "::1".
#pragma once
#include <arpa/inet.h>

#include <string>
#include <vector>

namespace zem_link {

// The hosts an address names, in order; empty when it does not read.
inline std::vector<std::string> Address_Hosts(std::string a) {
  std::vector<std::string> hosts;
  for (const char* scheme : {"dns:///", "dns:", "ipv4:", "ipv6:"}) {
    const std::string s(scheme);
    if (a.compare(0, s.size(), s) == 0) {
      a.erase(0, s.size());
      break;
    }
  }
  size_t from = 0;
  while (from <= a.size()) {
    size_t comma = a.find(',', from);
    std::string one = a.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    std::string host;
    if (!one.empty() && one[0] == '[') {
      size_t close = one.find(']');
      if (close == std::string::npos) return {};
      host = one.substr(1, close - 1);
    } else {
      size_t colon = one.rfind(':');
      host = colon == std::string::npos ? one : one.substr(0, colon);
    }
    if (host.empty()) return {};
    hosts.push_back(host);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return hosts;
}

inline bool Loopback_Host(const std::string& host) {
  if (host == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

// Whether every host of the address is a loopback one (false for an address that does not read).
inline bool Loopback_Address(const std::string& address) {
  std::vector<std::string> hosts = Address_Hosts(address);
  if (hosts.empty()) return false;
  for (const std::string& h : hosts)
    if (!Loopback_Host(h)) return false;
  return true;
}

}  // namespace zem_link
