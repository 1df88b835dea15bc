// The time-stamp server lives with the dictionaries (dict/sync_server.h), which serve its stamps.
#pragma once
#include "dict/sync_server.h"
