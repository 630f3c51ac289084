#include "main/viewer.h"
