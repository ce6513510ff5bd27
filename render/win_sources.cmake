# The render's Win32 side: the working image over the host bitmap and the
# render of a frame in a host bitmap.
target_sources(vlm_plugin_code PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/work_image.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_frame.cpp)
