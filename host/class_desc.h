#pragma once
#include <cstdint>

struct Class_ID {
    uint32_t a, b;
};

// What the host asks a plug-in class. The hooks' meaning is the host's
// business; a plug-in answers fixed values.
class ClassDesc {
public:
    virtual int HostHookA() = 0;
    virtual void* CreateInstance(int loading) = 0;
    virtual int HostHookB(int) = 0;
    virtual int HostHookC(int) = 0;
    virtual const char* DisplayName() = 0;
    virtual uint32_t KindCode() = 0;
    virtual Class_ID ClassIdentifier() = 0;
    virtual const char* CategoryName() = 0;
    virtual int HostHookD(int) = 0;
    virtual int HostHookE() = 0;
    virtual void HostHookF(int) = 0;
    virtual void HostHookG(int) = 0;
    virtual int HostHookH() = 0;
    virtual int HostHookI(int) = 0;
    virtual int HostHookJ(int) = 0;

protected:
    ~ClassDesc() = default;
};

constexpr uint32_t FLT_CLASS_ID = 0x0E00;  // the kind code of image filters
