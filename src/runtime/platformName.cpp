#include "runtime/platformName.h"

const char* platformName = "";
