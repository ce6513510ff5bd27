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
// restores the default, a folder "settings" beside the host program. False,
// changing nothing, for a path of MAX_PATH characters or more.
HOST_API bool HostSetSettingsDir(const char* directory);
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

// A frame held in memory, with optional ID channels. Its memory is asked
// for without exceptions: check Ok() after construction, and the channel
// arrays for null. A storage that is not Ok reads and writes no line.
class HOST_API MemoryStorage final : public BitmapStorage {
public:
    MemoryStorage(uint16_t width, uint16_t height);
    ~MemoryStorage();
    MemoryStorage(const MemoryStorage&) = delete;
    MemoryStorage& operator=(const MemoryStorage&) = delete;
    bool Ok() const { return pixels_ != nullptr; }

    int ReadLine(int x, int y, int count, BMM_Color_64* dst) override;
    int WriteLine(int x, int y, int count, const BMM_Color_64* src) override;
    void* ChannelArray(uint32_t channel, uint32_t* type) override;

    BMM_Color_64* Pixels() { return pixels_; }
    // Gives the frame a channel (zero-filled) and answers its array, or null
    // when its memory cannot be had (the frame then has no such channel).
    uint8_t* AddMaterialChannel();
    uint16_t* AddObjectChannel();

    // Counters the tests read to see how the plug-in crossed the interface.
    int linesRead = 0;
    int linesWritten = 0;

private:
    size_t Count() const { return size_t(Width()) * Height(); }

    BMM_Color_64* pixels_ = nullptr;
    uint8_t* material_ = nullptr;
    uint16_t* object_ = nullptr;
};
