// The exported C functions of libvestral.so. Each is a thin wrapper that never lets an exception
// out and maps one to the function's failure value.
#include "vestral.h"
