#include "data/Engine.h"
