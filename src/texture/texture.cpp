#include "texture/texture.h"
