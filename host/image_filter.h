#pragma once
#include <windows.h>

#include <cstdint>

#include "host/hostapi.h"

class Bitmap;
class Interface;
class ImageFilterInfo;
class ITrackViewNode;

// The host's base class of image filters. The order of the virtual
// operations is the host's table; never reorder.
class HOST_API ImageFilter {
public:
    ImageFilter();
    virtual ~ImageFilter();
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
    Bitmap* srcmap;  // the frame to filter, handed over by SetSource; null means none
    Bitmap* fgmap;
    Bitmap* mskmap;
    ImageFilterInfo* ifi;
    HWND vpSetup;
    ITrackViewNode* ifNode;
};
