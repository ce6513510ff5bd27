#include "host/image_filter.h"

#include "hostlib/host_control.h"

ImageFilter::ImageFilter()
    : srcmap(nullptr), fgmap(nullptr), mskmap(nullptr), ifi(nullptr), vpSetup(nullptr), ifNode(nullptr) {}

ImageFilter::~ImageFilter() = default;

int ImageFilter::ShowControl(HWND) { return FALSE; }
void ImageFilter::SetSource(Bitmap* map) { srcmap = map; }
void ImageFilter::SetForeground(Bitmap* map) { fgmap = map; }
void ImageFilter::SetMask(Bitmap* map) { mskmap = map; }
void ImageFilter::SetFilterInfo(ImageFilterInfo* info) { ifi = info; }
Interface* ImageFilter::HostInterface() { return HostGetInterface(); }
int ImageFilter::Lerp(int a, int b, float t) { return a + static_cast<int>((b - a) * t); }
int ImageFilter::Lerp(int a, int b, int t) { return a + (b - a) * t / 255; }
uint32_t ImageFilter::EvaluateConfigure() { return 0; }
int ImageFilter::LoadConfigure(void*) { return FALSE; }
int ImageFilter::SaveConfigure(void*) { return FALSE; }
int ImageFilter::CreatePreview(HWND, Bitmap**, int, int, int, float, Bitmap*, uint32_t) { return FALSE; }
uint32_t ImageFilter::ChannelsRequired() { return 0; }
HWND ImageFilter::DlgHandle() { return vpSetup; }
void ImageFilter::MakeDlgInteractive(HWND dialog) { vpSetup = dialog; }
int ImageFilter::IsInteractive() { return vpSetup != nullptr; }
ITrackViewNode* ImageFilter::CreateNode() { return nullptr; }
ITrackViewNode* ImageFilter::Node() { return ifNode; }
void ImageFilter::FilterUpdate() {}
