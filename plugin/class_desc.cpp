#include "plugin/class_desc.h"

#include <new>

#include "plugin/identity.h"
#include "plugin/kernel_filter.h"
#include "plugin/kernel_params.h"

namespace {
KernelFilterClassDesc g_descriptor;
ClassDesc* KernelFilterDescriptor() { return &g_descriptor; }
const ClassEntry g_classes[kClassCount] = {{"Velmora Filter", &KernelFilterDescriptor}};
}  // namespace

const ClassEntry* const kClassTable = g_classes;

void* KernelFilterClassDesc::CreateInstance(int) {
    // The host takes the filter through its ImageFilter base.
    ImageFilter* filter = new (std::nothrow) KernelFilter();
    return filter;
}

const char* KernelFilterClassDesc::DisplayName() { return kDisplayName; }
Class_ID KernelFilterClassDesc::ClassIdentifier() { return Class_ID{kParamsStamp, kClassIdB}; }
const char* KernelFilterClassDesc::CategoryName() { return kCategory; }
