#include "plugin/class_desc.h"

#include <new>

#include "module/identity.h"
#include "params/kernel_params.h"
#include "plugin/kernel_filter.h"

namespace {
KernelFilterClassDesc g_descriptor;
ClassDesc* KernelFilterDescriptor() { return &g_descriptor; }
const ClassEntry g_classes[kClassCount] = {{"Velmora Filter", &KernelFilterDescriptor}};
}  // namespace

const ClassEntry* const kClassTable = g_classes;

void* KernelFilterClassDesc::CreateInstance(int) {
    // The host takes the filter through its ImageFilter base. No exception
    // may reach a host built by another compiler: a construction that throws
    // has given its memory back already and answers null, like one that never
    // got memory.
    try {
        ImageFilter* filter = new (std::nothrow) KernelFilter();
        return filter;
    } catch (...) {
        return nullptr;
    }
}

const char* KernelFilterClassDesc::DisplayName() { return kDisplayName; }
ClassId* KernelFilterClassDesc::ClassIdentifier(ClassId* result) {
    *result = ClassId{kClassIdA, kClassIdB};
    return result;
}
const char* KernelFilterClassDesc::CategoryName() { return kCategory; }
