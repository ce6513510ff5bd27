#define VLM_VNNI_VEX
#include "render/convolve_vnni.h"
