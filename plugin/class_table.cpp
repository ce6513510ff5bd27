#include "plugin/class_desc.h"

ClassDesc* ClassDescAt(int index) {
    if (!kClassTable || index < 0 || index >= kClassCount) return nullptr;
    return kClassTable[index].descriptor();
}
