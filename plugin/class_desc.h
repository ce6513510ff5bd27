#pragma once
#include "host/class_desc.h"

class KernelFilterClassDesc : public ClassDesc {
public:
    int HostHookA() override { return 1; }
    void* CreateInstance(int loading) override;
    int HostHookB(int) override { return 0; }
    int HostHookC(int) override { return 0; }
    const char* DisplayName() override;
    uint32_t KindCode() override { return kImageFilterKind; }
    ClassId* ClassIdentifier(ClassId* result) override;
    const char* CategoryName() override;
    int HostHookD(int) override { return 1; }
    int HostHookE() override { return 0; }
    void HostHookF(int) override {}
    void HostHookG(int) override {}
    int HostHookH() override { return 0; }
    int HostHookI(int) override { return 0; }
    int HostHookJ(int) override { return 0; }
};

// The class table the exports work over.
struct ClassEntry {
    char name[256];
    ClassDesc* (*descriptor)();
};

extern const ClassEntry* const kClassTable;
constexpr int kClassCount = 1;

// What LibClassDesc answers: the descriptor of entry index, or null.
ClassDesc* ClassDescAt(int index);
