#include "platform/Regional.h"
// Implemented with the rest of the platform layer.
