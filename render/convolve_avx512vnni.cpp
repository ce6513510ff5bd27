#include "render/convolve_vnni.h"
