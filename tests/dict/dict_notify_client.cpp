// The dictionary client process of the change-notice tests: dict_notify_client CONNINFO DICT_ID.
#include "tests/dict/dict_notify_client.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dict_notify_client CONNINFO DICT_ID\n");
    return 2;
  }
  return zem_test::Dict_Notify_Client_Main(argv[1], argv[2]);
}
