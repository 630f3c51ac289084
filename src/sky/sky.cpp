#include "sky/sky.h"
