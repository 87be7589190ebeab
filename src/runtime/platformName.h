// The runtime's platform name, set by the first start step. The argument error display compares
// it with "Windows" to choose its highlight marks.
#pragma once

extern const char* platformName;
