#pragma once
#include <cstdint>

// Names a plug-in class to the host: two words, the first also the filter's
// version word and configuration stamp.
struct ClassId {
    uint32_t first, second;
};

// What the host asks a plug-in class. The hooks' meaning is the host's
// business; a plug-in answers fixed values.
//
// The host's compiler returns a record from a member function through a
// hidden pointer that the caller passes as the first argument after this;
// the callee fills it and answers it. ClassIdentifier is written in that form
// so g++ builds the same entry.
class ClassDesc {
public:
    virtual int HostHookA() = 0;
    virtual void* CreateInstance(int loading) = 0;
    virtual int HostHookB(int) = 0;
    virtual int HostHookC(int) = 0;
    virtual const char* DisplayName() = 0;
    virtual uint32_t KindCode() = 0;
    virtual ClassId* ClassIdentifier(ClassId* result) = 0;
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

// The class ID a descriptor answers, for callers built by g++.
inline ClassId ClassIdOf(ClassDesc& descriptor) {
    ClassId id{};
    descriptor.ClassIdentifier(&id);
    return id;
}

constexpr uint32_t kImageFilterKind = 0x0E00;  // the kind code of image filters
// The library version word the host loads plug-ins of: one answering
// another was built for another interface.
constexpr uint32_t kPluginInterfaceVersion = 0x07D00500u;
