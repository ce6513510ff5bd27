#include "module/identity.h"
#include "plugin/class_desc.h"

// Exported by name and ordinal through VLM.def.
extern "C" {
const char* LibDescription() { return kLibDescription; }
int LibNumberClasses() { return kClassCount; }
ClassDesc* LibClassDesc(int index) { return ClassDescAt(index); }
unsigned long LibVersion() { return kLibVersion; }
}
