#include "platform/bmp.h"
