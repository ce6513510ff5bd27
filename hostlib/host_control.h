#pragma once
// What the host program (and the tests standing in for it) use to set the
// host up. Plug-ins never see this header.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "host/bitmap.h"
#include "host/image_filter.h"
#include "host/hostapi.h"
#include "host/interface.h"

// The directory answered for the plug-in configuration code; null or empty
// restores the default, a folder "settings" beside the host program.
HOST_API void HostSetSettingsDir(const char* directory);
HOST_API Interface* HostGetInterface();
// The folder of the running program, without a trailing separator.
HOST_API const char* HostProgramDir();

// Destroys a filter as the host does, through entry 1 of its table with
// flags 1, never with a g++ delete.
struct ImageFilterDeleter {
    void operator()(ImageFilter* filter) const {
        if (filter) filter->DeletingDestructor(1);
    }
};
using ImageFilterPtr = std::unique_ptr<ImageFilter, ImageFilterDeleter>;

// Filters constructed and not yet destroyed in this process: shows a host
// that entry 1 ran the destructors all the way down to ImageFilter's. Plain C,
// so a host built by another compiler can ask too.
extern "C" HOST_API int HostLiveFilterCount();

// How often InitCustomControls has run in this process, and for which module
// last: lets a host check that a plug-in initialises its controls on load.
HOST_API int HostCustomControlsInitCount();
HOST_API HINSTANCE HostCustomControlsLastModule();

// A frame held in memory, with optional ID channels.
class HOST_API MemoryStorage final : public BitmapStorage {
public:
    MemoryStorage(uint16_t width, uint16_t height);
    ~MemoryStorage();

    int ReadLine(int x, int y, int count, BMM_Color_64* dst) override;
    int WriteLine(int x, int y, int count, const BMM_Color_64* src) override;
    void* ChannelArray(uint32_t channel, uint32_t* type) override;

    BMM_Color_64* Pixels() { return pixels_.data(); }
    // Gives the frame a channel (zero-filled) and answers its array.
    uint8_t* AddMaterialChannel();
    uint16_t* AddObjectChannel();

    // Counters the tests read to see how the plug-in crossed the interface.
    int linesRead = 0;
    int linesWritten = 0;

private:
    std::vector<BMM_Color_64> pixels_;
    std::vector<uint8_t> material_;
    std::vector<uint16_t> object_;
    bool hasMaterial_ = false, hasObject_ = false;
};
