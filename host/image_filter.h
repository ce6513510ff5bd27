#pragma once
#include <windows.h>

#include <cstdint>
#include <new>

#include "host/hostapi.h"

class Bitmap;
class Interface;
class ImageFilterInfo;
class ITrackViewNode;

// The host's base class of image filters. The order of the virtual
// operations is the host's table; never reorder.
//
// The host is built by Microsoft's compiler, which gives a virtual destructor
// one table entry: a deleting destructor that takes flags, destroys the
// object, frees its memory when bit 0 is set and answers the object's
// address. g++ would give a virtual destructor two entries and shift every
// operation after it, so that entry is spelled out here, the destructors
// themselves are not virtual, and each concrete filter fills the entry with
// DestroyInPlace. A host's "delete filter" is DeletingDestructor(1).
//
// Both Lerp entries are kept in their declared order: g++ keeps it, and a
// caller built by another compiler declares them under two names.
class HOST_API ImageFilter {
public:
    ImageFilter();
    virtual void* DeletingDestructor(unsigned int flags) = 0;
    virtual const char* FilterName() = 0;
    virtual const char* FilterAuthor() = 0;
    virtual const char* FilterNotice() = 0;
    virtual uint32_t FilterVersion() = 0;
    virtual uint32_t FilterCapabilities() = 0;
    virtual int OpenAboutBox(HWND parent) = 0;
    virtual int ShowControl(HWND parent);
    virtual void SetSource(Bitmap* map);
    virtual void SetForeground(Bitmap* map);
    virtual void SetMask(Bitmap* map);
    virtual void SetFilterInfo(ImageFilterInfo* info);
    virtual int RenderFrame(HWND progressWindow) = 0;
    virtual Interface* HostInterface();
    virtual int Lerp(int a, int b, float t);
    virtual int Lerp(int a, int b, int t);
    virtual uint32_t EvaluateConfigure();
    virtual int LoadConfigure(void* buffer);
    virtual int SaveConfigure(void* buffer);
    virtual int CreatePreview(HWND parent, Bitmap** map, int frame, int width, int height,
                              float aspect, Bitmap* backgroundMap, uint32_t flags);
    virtual uint32_t ChannelsRequired();
    virtual HWND DlgHandle();
    virtual void MakeDlgInteractive(HWND dialog);
    virtual int IsInteractive();
    virtual ITrackViewNode* CreateNode();
    virtual ITrackViewNode* Node();
    virtual void FilterUpdate();

protected:
    ~ImageFilter();

    Bitmap* frameMap;  // the frame to filter, handed over by SetSource; null means none
    Bitmap* foregroundMap;
    Bitmap* maskMap;
    ImageFilterInfo* filterInfo;
    HWND setupWindow;
    ITrackViewNode* trackNode;
};

// The body of entry 1 for a concrete class T, whose destructor runs the
// destructors of its bases. Memory is given back to the allocator of the
// module that compiled this call, the one whose new made the object.
template <class T>
void* DestroyInPlace(T* object, unsigned int flags) {
    object->~T();
    if (flags & 1u) ::operator delete(object);
    return object;
}
