#include "module/identity.h"

const char kLibDescription[256] = "Velmora Filter, (c) 2026 Velmora Imaging. All rights reserved.";
const char kDisplayName[256] = "Velmora Filter";
const char kAuthor[256] = "The Velmora Filter developers";
const char kNotice[256] = "(c) 2026 Velmora Imaging. All rights reserved.";
const char kCategory[] = "Image Filter";
