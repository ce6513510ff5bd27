#include "host/image_filter.h"

#include "hostlib/host_control.h"

namespace {
int g_liveFilters = 0;
}

ImageFilter::ImageFilter()
    : frameMap(nullptr), foregroundMap(nullptr), maskMap(nullptr), filterInfo(nullptr), setupWindow(nullptr),
      trackNode(nullptr) {
    ++g_liveFilters;
}

ImageFilter::~ImageFilter() { --g_liveFilters; }

int HostLiveFilterCount() { return g_liveFilters; }

int ImageFilter::ShowControl(HWND) { return FALSE; }
void ImageFilter::SetSource(Bitmap* map) { frameMap = map; }
void ImageFilter::SetForeground(Bitmap* map) { foregroundMap = map; }
void ImageFilter::SetMask(Bitmap* map) { maskMap = map; }
void ImageFilter::SetFilterInfo(ImageFilterInfo* info) { filterInfo = info; }
Interface* ImageFilter::HostInterface() { return HostGetInterface(); }
int ImageFilter::Lerp(int a, int b, float t) { return a + static_cast<int>((b - a) * t); }
int ImageFilter::Lerp(int a, int b, int t) { return a + (b - a) * t / 255; }
uint32_t ImageFilter::EvaluateConfigure() { return 0; }
int ImageFilter::LoadConfigure(void*) { return FALSE; }
int ImageFilter::SaveConfigure(void*) { return FALSE; }
int ImageFilter::CreatePreview(HWND, Bitmap**, int, int, int, float, Bitmap*, uint32_t) { return FALSE; }
uint32_t ImageFilter::ChannelsRequired() { return 0; }
HWND ImageFilter::DlgHandle() { return setupWindow; }
void ImageFilter::MakeDlgInteractive(HWND dialog) { setupWindow = dialog; }
int ImageFilter::IsInteractive() { return setupWindow != nullptr; }
ITrackViewNode* ImageFilter::CreateNode() { return nullptr; }
ITrackViewNode* ImageFilter::Node() { return trackNode; }
void ImageFilter::FilterUpdate() {}
